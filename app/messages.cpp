#include "app/messages.h"

#include "app/res/resource.h"
#include "app/resources.h"

const ErrorMessageEntry errorMessageTable[] = {
    {24, IDS_CANCELED},   // the operation was cancelled
    {0, 0},
};

std::wstring messageTitle(HINSTANCE instance)
{
    // Read without a fixed buffer: a zero length gives a pointer to the text.
    const wchar_t* title = nullptr;
    int n = instance ? LoadStringW(instance, IDS_APP_TITLE, reinterpret_cast<LPWSTR>(&title), 0) : 0;
    return n > 0 && title ? std::wstring(title, static_cast<size_t>(n)) : std::wstring();
}

std::wstring errorMessageText(const wchar_t* text, int code)
{
    std::wstring body = text ? text : L"";
    for (const ErrorMessageEntry* e = errorMessageTable; e->code != 0; ++e) {
        if (e->code != code)
            continue;
        std::wstring known;
        if (loadResourceString(e->stringId, known))
            body = known;
        break;
    }
    return body;
}

void showErrorMessage(HINSTANCE instance, const wchar_t* text, int code)
{
    std::wstring title = messageTitle(instance);
    std::wstring body = errorMessageText(text, code);
    MessageBoxW(nullptr, body.c_str(), title.c_str(), MB_ICONERROR | MB_SYSTEMMODAL);
}

void showPlainMessage(HINSTANCE instance, const wchar_t* text)
{
    std::wstring title = messageTitle(instance);
    MessageBoxW(nullptr, text ? text : L"", title.c_str(), MB_ICONINFORMATION | MB_SYSTEMMODAL);
}
