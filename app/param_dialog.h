// The page configuration dialog (template 2000): for one page of a print job
// the user chooses the output file and the encoding profile, sees the page's
// preview and properties, and confirms (1, or 1877 for "same configuration
// for successive pages"), cancels (2) or skips the page (1878).
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/core/param_logic.h"
#include "app/dialog_dpi.h"
#include "app/dialog_impl.h"
#include "app/preview.h"
#include "app/startup_reads.h"
#include "resource.h"

class PrinterSettings;

class CParamDialog : public CDialogImpl<CParamDialog> {
public:
    enum { IDD = IDD_PARAM };

    // The settings record is read at initialisation and written at
    // confirmation; the dialog does not own it and it must outlive the dialog.
    // With a `settingsName`, the record of that name is loaded into it first,
    // at initialisation, together with the profile names (StartupReads).
    CParamDialog(PrinterSettings& settings, const std::wstring& imagePath, int resolution, int width,
                 int height, int page, const std::wstring* settingsName = nullptr);
    ~CParamDialog() override;

    // Sets which controls accept input (the order is fixed by
    // enableControlsPlan): the output file controls only on page 1.
    void EnableControls(bool enable);
    // Refills the profile box and selects `name` (or the first profile).
    void UpdateProfileCombo(const std::wstring& name);

    // For tests: the editor program to start instead of "tessforge7.exe".
    void SetEditorProgram(const std::wstring& program) { m_strEditorProgram = program; }

    // The dialog's result when its reads were not done in time: it ends
    // before it shows, and HeldFile() names the file that was held.
    static constexpr INT_PTR kReadsGivenUp = 0x7E1D;
    const std::wstring& HeldFile() const { return m_strHeldFile; }

    // For tests: the page's preview (null when the image file could not be
    // opened or its header fails the checks) and how many attention flashes
    // the dialog has given.
    PreviewBitmap* GetPreviewBitmap() const { return m_pBitmap.get(); }
    int GetFlashCount() const { return m_nFlashes; }
    // For tests: how often the profile box was filled from the repository.
    int GetProfileFillCount() const { return m_nProfileFills; }

    static constexpr UINT_PTR kFlashTimer = 1000;
    static constexpr UINT kFlashDelayMs = 500;
    // The editor's select requests are served by one re-read of the
    // repository this long after the first of them (RequestProfileFill).
    static constexpr UINT_PTR kProfileFillTimer = 1001;
    static constexpr UINT kProfileFillDelayMs = 200;

    BEGIN_MSG_MAP(CParamDialog)
        MSG_WM_INITDIALOG(OnInitDialog)
        MSG_WM_SHOWWINDOW(OnShowWindow)
        MSG_WM_TIMER(OnTimer)
        MSG_WM_PAINT(OnPaint)
        MSG_WM_COPYDATA(OnCopyData)
        MSG_WM_QUERYENDSESSION(OnQueryEndSession)
        MSG_WM_ENDSESSION(OnEndSession)
        MSG_WM_GETDPISCALEDSIZE(OnGetDpiScaledSize)
        MSG_WM_DPICHANGED(OnDpiChanged)
        MSG_WM_SYSCOLORCHANGE(OnSysColorChange)
        COMMAND_HANDLER_EX(IDOK, BN_CLICKED, OnOK)
        COMMAND_HANDLER_EX(IDCANCEL, BN_CLICKED, OnCancel)
        COMMAND_HANDLER_EX(IDC_SKIP_PAGE, BN_CLICKED, OnSkipPage)
        COMMAND_HANDLER_EX(IDC_BROWSE, BN_CLICKED, OnBrowse)
        COMMAND_HANDLER_EX(IDC_EDIT_PROFILE, BN_CLICKED, OnEditProfile)
    END_MSG_MAP()

private:
    BOOL OnInitDialog(HWND focus, LPARAM initParam);
    void OnShowWindow(BOOL show, UINT status);
    void OnTimer(UINT_PTR id);
    void OnPaint(HDC given);
    BOOL OnCopyData(HWND from, const COPYDATASTRUCT* data);
    BOOL OnQueryEndSession(UINT source, UINT logOff);
    void OnEndSession(BOOL ending, UINT logOff);
    BOOL OnGetDpiScaledSize(UINT dpi, SIZE* size);
    void OnDpiChanged(UINT dpi, const RECT* suggested);
    void OnSysColorChange();
    void OnOK(UINT code, int id, HWND control);
    void OnCancel(UINT code, int id, HWND control);
    void OnSkipPage(UINT code, int id, HWND control);
    void OnBrowse(UINT code, int id, HWND control);
    void OnEditProfile(UINT code, int id, HWND control);

    // Fills the properties list and sizes its columns from their texts.
    void FillProperties();
    // Gives the preview its description and the fields their names for
    // screen readers.
    void DescribePreview();
    // Puts the keyboard focus back on Edit once the editor hands input back.
    void FocusEditButton();
    // An editor's request to refill the profile box and select `name`.
    void RequestProfileFill(const std::wstring& name);
    // Makes the re-read that requests are waiting for now, if any.
    void FlushProfileFill();

    PrinterSettings* m_pSettings;
    bool m_bFirstShow = true;
    std::wstring m_strImagePath;
    int m_nResolution;
    int m_nWidth;
    int m_nHeight;
    int m_nPage;
    std::unique_ptr<PreviewBitmap> m_pBitmap;
    bool m_bReadSettings;  // the record of m_strSettingsName is loaded at initialisation
    std::wstring m_strSettingsName;
    std::wstring m_strHeldFile;  // the file the given-up reads were held on
    int m_nFlashes = 0;
    bool m_bHighContrast = false;  // the preview's colours follow the scheme
    // The monitor's resolution, read at initialisation and taken from each
    // WM_DPICHANGED: the template scales with its font, the pixel sizes set
    // here (list columns, the preview's outline) are scaled from it.
    int m_nDpi = 96;
    DialogDpiLayout m_layout;
    // The editor program, and the running editor's process (null when
    // none): the dialog takes requests only while that process runs.
    std::wstring m_strEditorProgram;
    HANDLE m_hEditor = nullptr;  // the running editor's process, owned by OnEditProfile
    // The name the latest select request asked for, while its re-read is
    // still to come.
    bool m_bProfileFillPending = false;
    std::wstring m_strPendingProfile;
    int m_nProfileFills = 0;
};
