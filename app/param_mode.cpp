#include "app/modes.h"

#include "app/core/param_logic.h"
#include "app/param_dialog.h"
#include "app/res/resource.h"
#include "app/resources.h"
#include "settings/printer_settings.h"

int runParamMode(const ParamArguments& args, HWND owner)
{
    // The record lives from before the dialog until after the save; the
    // dialog only borrows it.
    PrinterSettings settings;
    int result;
    for (;;) {
        // The settings file is found and read at the dialog's
        // initialisation, within a bound.
        CParamDialog dialog(settings, args.imagePath, args.resolution, args.width, args.height, args.page,
                            &args.settingsName);
        result = int(dialog.DoModal(owner));
        if (result != CParamDialog::kReadsGivenUp)
            break;
        // A file held by another program: nothing was read, so nothing may
        // be confirmed or written. The user may try again once it is free.
        const std::wstring text = loadFormattedString(IDS_FILE_HELD, {dialog.HeldFile(), readLimitSeconds()});
        if (MessageBoxW(owner, text.c_str(), loadFormattedString(IDS_APP_TITLE).c_str(),
                        MB_RETRYCANCEL | MB_ICONWARNING) != IDRETRY)
            return IDCANCEL;
    }
    if (!resultSavesSettings(result))
        return result;
    // The converter reads the answer from the file after this program ends:
    // confirming without saving would let it encode with the previous job's
    // settings (and over the previous job's document). The user may try
    // again or cancel the page.
    while (!settings.save()) {
        const std::wstring text =
            loadFormattedString(IDS_SETTINGS_NOT_SAVED, {settings.IniPath, systemMessage(GetLastError())});
        if (MessageBoxW(owner, text.c_str(), loadFormattedString(IDS_APP_TITLE).c_str(),
                        MB_RETRYCANCEL | MB_ICONWARNING) != IDRETRY)
            return IDCANCEL;
    }
    return result;
}
