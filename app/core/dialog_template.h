// What a dialog's layout is made from: the extended dialog template as the
// resource compiler writes it (sizes in dialog units, the font in points).
// Portable; the bytes are read within their bounds only, since a language
// module is a file beside the program that anyone with write access to the
// folder can replace.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DialogUnitsRect {
    int x = 0, y = 0, cx = 0, cy = 0;
};

struct DialogTemplateItem {
    uint32_t id = 0;
    DialogUnitsRect rect;
};

struct DialogTemplateLayout {
    DialogUnitsRect rect;        // the dialog's client area
    bool hasFont = false;        // DS_SETFONT or DS_SHELLFONT
    int pointSize = 0;
    int weight = 0;
    bool italic = false;
    int charset = 0;
    std::u16string face;
    std::vector<DialogTemplateItem> items;   // in creation order
};

// Reads an extended template (DLGTEMPLATEEX). False for the old form, for
// bytes that end early and for more than 1024 items.
bool readDialogTemplate(const unsigned char* bytes, size_t size, DialogTemplateLayout& layout);

// Dialog units to pixels for a font whose average character width is
// `baseX` and height `baseY` pixels (the platform's MapDialogRect rule).
int dialogUnitsToPixelsX(int units, int baseX);
int dialogUnitsToPixelsY(int units, int baseY);

// The average character width the dialog manager derives from the width of
// the 52 Latin letters in the dialog's font.
int averageCharWidth(int widthOfLatinLetters);
