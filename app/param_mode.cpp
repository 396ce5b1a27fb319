#include "app/modes.h"

#include "app/core/param_logic.h"
#include "app/param_dialog.h"
#include "settings/printer_settings.h"

int runParamMode(const ParamArguments& args, HWND owner)
{
    // The record lives from before the dialog until after the save; the
    // dialog only borrows it.
    PrinterSettings settings;
    settings.setSettingsName(args.settingsName);
    settings.load();
    int result;
    {
        CParamDialog dialog(settings, args.imagePath, args.resolution, args.width, args.height, args.page);
        result = int(dialog.DoModal(owner));
    }
    if (resultSavesSettings(result))
        settings.save();
    return result;
}
