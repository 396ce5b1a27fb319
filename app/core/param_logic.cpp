#include "app/core/param_logic.h"

#include "app/res/resource.h"

int confirmationResult(bool sameConfigChecked)
{
    return sameConfigChecked ? IDOK_SUCCESSIVE : 1;
}

bool sameConfigInitiallyChecked(int page)
{
    return page == 1;
}

bool resultSavesSettings(int result)
{
    return result == 1 || result == IDOK_SUCCESSIVE;
}

bool needsOverwriteQuestion(int page, bool nameExists)
{
    return page == 1 && nameExists;
}

std::array<ControlState, 10> enableControlsPlan(bool enable, int page)
{
    const bool outputFile = enable && page == 1;
    return {{
        {IDC_OUTPUT_FILE, outputFile},
        {IDC_BROWSE, outputFile},
        {IDC_PROFILE, enable},
        {IDC_EDIT_PROFILE, enable},
        {IDC_PREVIEW_FRAME, enable},
        {IDC_PROPERTIES, enable},
        {IDC_SAME_CONFIG, enable},
        {1, enable},  // OK
        {2, enable},  // Cancel
        {0, enable},  // the dialog window
    }};
}

std::array<PropertyRow, 3> propertyRows(int page, int width, int height, int resolution)
{
    return {{
        {IDS_ROW_PAGE, IDS_FMT_PAGE, 1, {uint32_t(page), 0}},
        {IDS_ROW_IMAGE_SIZE, IDS_FMT_IMAGE_SIZE, 2, {uint32_t(width), uint32_t(height)}},
        {IDS_ROW_RESOLUTION, IDS_FMT_RESOLUTION, 1, {uint32_t(resolution), 0}},
    }};
}

std::wstring fileFilterFromResource(const std::wstring& text)
{
    std::wstring filter = text;
    for (wchar_t& c : filter) {
        if (c == L'|')
            c = L'\0';
    }
    if (filter.empty() || filter.back() != L'\0')
        filter.push_back(L'\0');
    // The string's own terminator supplies the second NUL; keep it explicit
    // so that the list is complete inside the std::wstring too.
    filter.push_back(L'\0');
    return filter;
}

int profileSelection(const std::vector<std::wstring>& names, const std::wstring& wanted)
{
    if (names.empty())
        return -1;
    int selected = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == wanted)
            selected = int(i);
    }
    return selected;
}
