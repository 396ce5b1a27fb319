#include "app/core/display_text.h"

namespace {

bool isBidiFormatting(char16_t c)
{
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x206F);
}

bool isControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

} // namespace

std::u16string displayText(const std::u16string& text, TextLines lines)
{
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (isBidiFormatting(c))
            continue;
        const bool lineBreak = c == u'\r' || c == u'\n' || c == 0x2028 || c == 0x2029;
        if (lines == TextLines::One && (lineBreak || c == u'\t')) {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out += u' ';
        } else if (lines == TextLines::Many && (c == 0x2028 || c == 0x2029)) {
            out += u'\n';
        } else if (lines == TextLines::Many && (c == u'\r' || c == u'\n' || c == u'\t')) {
            out += c;
        } else if (!isControl(c)) {
            out += c;
        }
    }
    return out;
}

ShownLabel shownLabel(const std::wstring& controlText)
{
    ShownLabel shown;
    for (size_t i = 0; i < controlText.size(); ++i) {
        const bool marked = controlText[i] == L'&';
        if (marked && ++i == controlText.size())
            break;
        if (marked && controlText[i] != L'&' && !shown.accessKey)
            shown.accessKey = controlText[i];
        shown.text += controlText[i];
    }
    return shown;
}
