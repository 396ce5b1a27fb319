// UTF-8, UTF-16 and UTF-32 text from arbitrary units through the string's
// conversions. Checks: a wide or UTF-32 form never holds a NUL before its
// end (a system call would see a shorter name), and converting valid units
// to UTF-8 and back gives the same units.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "baselib/svr_string.h"

using namespace Solvaris;

namespace {

template <class Unit>
void noNulBefore(const Unit* units, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        if (units[i] == 0)
            std::abort();
    if (units[n] != 0)
        std::abort();
}

// The forms every string offers, checked against each other.
void checkForms(const String& s) {
    const UTF16Char* w = s.c_wstr();
    uint32_t wl = s.wlength();
    noNulBefore(w, wl);
    if (wl != Utf::utf8ToUtf16Length(s.c_str(), s.length()))
        std::abort();
    const UTF32Char* u = s.c_utf32();
    uint32_t ul = s.utf32Length();
    noNulBefore(u, ul);
    if (ul > s.length() || wl > s.length())
        std::abort();
    s.c_strLocal();
    s.rfind('/');
    s.trim();
    s.trimLineBreaksRight();
    s.compareNoCase(String("a\xC3\xA9"));
    // UTF-16 -> UTF-8 -> UTF-16 keeps every unit (a leading byte-order
    // mark is taken as such and dropped).
    if (wl && w[0] != 0xFEFF && w[0] != 0xFFFE) {
        String again(w, int32_t(wl));
        if (again.wlength() != wl || std::memcmp(again.c_wstr(), w, wl * sizeof(UTF16Char)) != 0)
            std::abort();
    }
}

} // namespace

// First byte: 0 UTF-8, 1 UTF-16 units, 2 UTF-32 units; the rest is the text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 1 << 16)
        return 0;
    const uint8_t* p = data + 1;
    size_t n = size - 1;
    switch (data[0] % 3) {
    case 0:
        checkForms(String(reinterpret_cast<const char*>(p), int32_t(n)));
        break;
    case 1: {
        if (n < 2)
            break;
        std::vector<char16_t> units(n / 2);
        std::memcpy(units.data(), p, units.size() * 2);
        String s(reinterpret_cast<const UTF16Char*>(units.data()), int32_t(units.size()));
        checkForms(s);
        size_t valid = 0;
        while (valid < units.size() && units[valid])
            ++valid;
        if (units[0] != 0xFEFF && units[0] != 0xFFFE &&
            (s.wlength() != valid || std::memcmp(s.c_wstr(), units.data(), valid * 2) != 0))
            std::abort();
        break;
    }
    default: {
        if (n < 4)
            break;
        std::vector<char32_t> units(n / 4);
        std::memcpy(units.data(), p, units.size() * 4);
        String s(units.data(), int32_t(units.size()));
        checkForms(s);
        size_t valid = 0;
        bool representable = true;
        while (valid < units.size() && units[valid])
            representable &= units[valid++] < 0x80000000u;
        if (representable && units[0] != 0xFEFF && units[0] != 0xFFFE0000u &&
            (s.utf32Length() != valid || std::memcmp(s.c_utf32(), units.data(), valid * 4) != 0))
            std::abort();
        break;
    }
    }
    return 0;
}
