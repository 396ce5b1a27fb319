#!/usr/bin/env bash
# Fetches and unpacks a Debian source package (with Debian's patches applied)
# through an apt configuration of the project's own under CACHE/apt-src: the
# system's apt sources, lists and state are neither read for it nor changed.
#   apt-source.sh CACHE PACKAGE DEST
# Of the versions the base suite lists, the first whose files download is
# taken (the security suite's source files are not always served).
set -uo pipefail
cache=${1:?cache folder}; pkg=${2:?source package}; dest=${3:?destination folder}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/apt-uri.sh"
uri=$(debian_archive_uri) || { echo "apt-source: no Debian archive address in the apt sources" >&2; exit 1; }
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
adir="$cache/apt-src"
mkdir -p "$adir/lists/partial"
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri $codename main" >"$adir/sources.list"
apt=(-o Dir::Etc::sourcelist="$adir/sources.list" -o Dir::Etc::sourceparts=- -o Dir::State::Lists="$adir/lists"
     -o Dir::Cache="$adir/cache")
if [ ! -s "$adir/lists/updated" ]; then
  apt-get "${apt[@]}" update -qq >/dev/null 2>&1 || { echo "apt-source: could not read $codename's sources from $uri" >&2; exit 1; }
  date >"$adir/lists/updated"
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp" || exit 1
ok=""
for v in $(apt-cache "${apt[@]}" showsrc "$pkg" | awk '/^Version:/{print $2}' | sort -u); do
  if apt-get "${apt[@]}" source --download-only -qq "$pkg=$v" >/dev/null 2>&1; then ok=$v; break; fi
done
[ -n "$ok" ] || { echo "apt-source: could not download the sources of $pkg" >&2; exit 1; }
dpkg-source -x ./*.dsc src >/dev/null 2>&1 || { echo "apt-source: could not unpack $pkg $ok" >&2; exit 1; }
rm -rf "$dest"
mv src "$dest"
echo "apt-source: $pkg $ok in $dest"
