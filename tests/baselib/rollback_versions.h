// The file versions that the rollback crash test and its child program
// write: a header line, a body whose length and bytes follow from the
// version number, and an end line. Lengths vary so that commits both grow
// and shrink the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "baselib/svr_storage.h"

namespace rollback_versions {

inline std::string versionText(uint32_t n) {
    uint32_t length = 200 + (n * 7919u) % 40000u;
    std::string body(length, '\0');
    for (uint32_t i = 0; i < length; ++i)
        body[i] = char('a' + (i * 31u + n) % 26u);
    return "BEGIN " + std::to_string(n) + " " + std::to_string(length) + "\n" + body + "\nEND " +
           std::to_string(n) + "\n";
}

// The version number the text is a complete copy of, or -1.
inline long parseVersion(const std::string& text) {
    unsigned long n = 0, length = 0;
    if (std::sscanf(text.c_str(), "BEGIN %lu %lu\n", &n, &length) != 2)
        return -1;
    return text == versionText(uint32_t(n)) ? long(n) : -1;
}

// Commits version n to path, reading the current header first as a program
// updating its file would.
inline void commitVersion(const Solvaris::String& path, uint32_t n) {
    using namespace Solvaris;
    AutoPtr<DiskStorageWithRollback> s = DiskStorageWithRollback::create(path, accessReadWrite, openAlways);
    char head[32] = {};
    s->readBytes(head, sizeof head - 1);
    std::string text = versionText(n);
    s->setPos(0);
    s->writeBytes(text.data(), uint32_t(text.size()));
    s->setEof();
    s->commit();
}

} // namespace rollback_versions
