// Texts from the converter (status lines, the document name, message texts)
// made safe to draw: the characters are shown in the order they were sent.
#pragma once
#include <string>

enum class TextLines { One, Many };

// Removes the bidirectional embeddings, overrides and isolates (U+202A to
// U+202E, U+2066 to U+2069) and the deprecated format characters U+206A to
// U+206F: one right-to-left override would otherwise show "evil\u202Eexe.txt"
// as "eviltxt.exe". They are taken out rather than fenced in: an isolate
// around the text would still let an override inside it reverse the
// letters, and visible stand-ins would show the user junk. The marks
// (U+200E, U+200F, U+061C) stay: they move no letter, and right-to-left
// text needs them to place its punctuation.
// Control characters (U+0000 to U+001F, U+007F to U+009F), which the
// controls draw as boxes, are removed as well, except line breaks and tabs:
// for TextLines::One (a page line, a title) a line break (CR, LF, CR LF,
// U+2028, U+2029) or tab becomes one space; for TextLines::Many (a message
// box, a log box) CR, LF and tabs are kept and U+2028/U+2029 become LF.
std::u16string displayText(const std::u16string& text, TextLines lines);

// A control's text as the control shows it: "&&" is one ampersand, and a
// single '&' marks the access key (the next character, underlined), which
// is not shown. `accessKey` is 0 when the text has none.
struct ShownLabel {
    std::wstring text;
    wchar_t accessKey = 0;
};
ShownLabel shownLabel(const std::wstring& controlText);
