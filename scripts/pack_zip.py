#!/usr/bin/env python3
"""Packs a folder into a zip archive that is the same byte for byte whenever
the folder's files are: entries in sorted order, every entry stamped with one
fixed time (the commit's, SOURCE_DATE_EPOCH), no owner, permission or extra
fields. Writes a SHA-256 list beside the archive: one line per packed file
(its path inside the archive) and one for the archive itself, in the form
sha256sum reads.

    pack_zip.py FOLDER ARCHIVE.zip EPOCH
"""
import hashlib
import os
import sys
import time
import zipfile


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    folder, archive, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
    # Zip times are local DOS times from 1980 on, in steps of two seconds.
    stamp = time.gmtime(max(epoch, 315532800))
    date_time = (stamp.tm_year, stamp.tm_mon, stamp.tm_mday, stamp.tm_hour, stamp.tm_min, stamp.tm_sec // 2 * 2)

    files = []
    for root, dirs, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            files.append(os.path.relpath(path, folder).replace(os.sep, "/"))
    files.sort()

    sums = []
    os.makedirs(os.path.dirname(os.path.abspath(archive)), exist_ok=True)
    with zipfile.ZipFile(archive, "w") as z:
        for name in files:
            with open(os.path.join(folder, name), "rb") as f:
                data = f.read()
            info = zipfile.ZipInfo(name, date_time)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0      # made on "MS-DOS": no Unix owner or mode
            info.external_attr = 0x20   # the archive attribute, as Windows tools set it
            z.writestr(info, data, compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)
            sums.append((hashlib.sha256(data).hexdigest(), name))

    with open(archive, "rb") as f:
        sums.append((hashlib.sha256(f.read()).hexdigest(), os.path.basename(archive)))
    with open(os.path.splitext(archive)[0] + ".sha256", "w", newline="\n") as f:
        for digest, name in sums:
            f.write("%s  %s\n" % (digest, name))


if __name__ == "__main__":
    main()
