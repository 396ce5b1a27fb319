#include "app/core/dialog_template.h"

#include <cstdint>

namespace {

constexpr uint32_t kSetFont = 0x40;       // DS_SETFONT
constexpr uint32_t kShellFont = 0x48;     // DS_SHELLFONT (DS_SETFONT | DS_FIXEDSYS)
constexpr size_t kMaxItems = 1024;

class Reader {
public:
    Reader(const unsigned char* bytes, size_t size) : m_bytes(bytes), m_size(size) {}
    bool ok() const { return m_ok; }
    uint32_t word()
    {
        if (!need(2))
            return 0;
        const uint32_t v = uint32_t(m_bytes[m_at]) | uint32_t(m_bytes[m_at + 1]) << 8;
        m_at += 2;
        return v;
    }
    uint32_t dword() { return word() | word() << 16; }
    int shortValue() { return int(int16_t(uint16_t(word()))); }
    uint32_t byte()
    {
        if (!need(1))
            return 0;
        return m_bytes[m_at++];
    }
    // A string, or 0xFFFF and an ordinal, or 0 for none.
    std::u16string nameOrOrdinal()
    {
        const uint32_t first = word();
        if (first == 0xFFFF) {
            word();
            return std::u16string();
        }
        std::u16string text;
        for (uint32_t c = first; m_ok && c != 0; c = word())
            text.push_back(char16_t(c));
        return text;
    }
    void alignToDword() { m_at = (m_at + 3) & ~size_t(3); }
    void skip(size_t n)
    {
        if (need(n))
            m_at += n;
    }

private:
    bool need(size_t n)
    {
        if (m_at > m_size || m_size - m_at < n)
            m_ok = false;
        return m_ok;
    }
    const unsigned char* m_bytes;
    size_t m_size;
    size_t m_at = 0;
    bool m_ok = true;
};

DialogUnitsRect readRect(Reader& in)
{
    DialogUnitsRect r;
    r.x = in.shortValue();
    r.y = in.shortValue();
    r.cx = in.shortValue();
    r.cy = in.shortValue();
    return r;
}

} // namespace

bool readDialogTemplate(const unsigned char* bytes, size_t size, DialogTemplateLayout& layout)
{
    layout = DialogTemplateLayout();
    if (!bytes)
        return false;
    Reader in(bytes, size);
    if (in.word() != 1 || in.word() != 0xFFFF)
        return false;
    in.dword();   // help id
    in.dword();   // extended style
    const uint32_t style = in.dword();
    const size_t count = in.word();
    if (count > kMaxItems)
        return false;
    layout.rect = readRect(in);
    in.nameOrOrdinal();   // menu
    in.nameOrOrdinal();   // class
    in.nameOrOrdinal();   // title
    layout.hasFont = (style & kSetFont) != 0 || (style & kShellFont) == kShellFont;
    if (layout.hasFont) {
        layout.pointSize = int(in.word());
        layout.weight = int(in.word());
        layout.italic = in.byte() != 0;
        layout.charset = int(in.byte());
        layout.face = in.nameOrOrdinal();
    }
    for (size_t i = 0; i < count && in.ok(); ++i) {
        in.alignToDword();
        in.dword();   // help id
        in.dword();   // extended style
        in.dword();   // style
        DialogTemplateItem item;
        item.rect = readRect(in);
        item.id = in.dword();
        in.nameOrOrdinal();   // class
        in.nameOrOrdinal();   // text
        in.skip(in.word());   // creation data
        layout.items.push_back(item);
    }
    return in.ok();
}

// MulDiv's rounding, halves away from zero.
static int mulDiv(int value, int numerator, int denominator)
{
    if (denominator <= 0)
        return 0;
    const int64_t product = int64_t(value) * numerator;
    const int64_t half = denominator / 2;
    return int(product >= 0 ? (product + half) / denominator : -((-product + half) / denominator));
}

int dialogUnitsToPixelsX(int units, int baseX) { return mulDiv(units, baseX, 4); }
int dialogUnitsToPixelsY(int units, int baseY) { return mulDiv(units, baseY, 8); }
int averageCharWidth(int widthOfLatinLetters) { return (widthOfLatinLetters / 26 + 1) / 2; }
