#include "app/param_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "app/accessible_texts.h"
#include "app/core/dpi_layout.h"
#include "app/core/editor_link.h"
#include "app/output_file.h"
#include "app/profile_editor.h"
#include "app/profile_list.h"
#include "app/resources.h"
#include "settings/printer_settings.h"

CParamDialog::CParamDialog(PrinterSettings& settings, const std::wstring& imagePath, int resolution,
                           int width, int height, int page, const std::wstring* settingsName)
    : m_pSettings(&settings), m_strImagePath(imagePath), m_nResolution(resolution), m_nWidth(width),
      m_nHeight(height), m_nPage(page), m_bReadSettings(settingsName != nullptr),
      m_strSettingsName(settingsName ? *settingsName : std::wstring()),
      m_strEditorProgram(kProfileEditorProgram)
{
}

CParamDialog::~CParamDialog() = default;

BOOL CParamDialog::OnInitDialog(HWND, LPARAM)
{
    // The reads run on a worker only so that a held file can be given up
    // (StartupReads). Started at the dialog's construction instead, to
    // overlap the making of the controls, they gained nothing bench/startup
    // could tell apart: to the page painted, A4 page 0.98x the least dialog
    // started there, 0.95x started here; the small page 1.15x both (medians
    // per round, 15 rounds; the reads themselves take 20-70 ms under Wine).
    StartupReads reads(m_bReadSettings ? &m_strSettingsName : nullptr);
    // Never shown on settings that were not read: the caller names the held
    // file and lets the user try again.
    if (!reads.finish()) {
        m_strHeldFile = reads.heldFile();
        EndDialog(kReadsGivenUp);
        return TRUE;
    }
    if (m_bReadSettings)
        *m_pSettings = reads.settings();
    SetDlgItemText(IDC_OUTPUT_FILE, m_pSettings->OutputFileName.c_str());
    // A proposed profile name changes the record in memory only; it reaches
    // the settings file if the user confirms.
    if (m_pSettings->Profile.empty())
        m_pSettings->Profile = loadFormattedString(IDS_DEFAULT_PROFILE, {m_nResolution});
    fillProfileCombo(GetDlgItem(IDC_PROFILE), m_pSettings->Profile, reads.names());
    SendDlgItemMessage(IDC_SAME_CONFIG, BM_SETCHECK,
                       sameConfigInitiallyChecked(m_nPage) ? BST_CHECKED : BST_UNCHECKED);
    enableFileCompletion(GetDlgItem(IDC_OUTPUT_FILE));
    m_nDpi = DisplayDpi();
    m_layout.load(TemplateModule(), TemplateId());
    switchOffSystemRescaling(m_hWnd, dialogDpiFunctions());
    FillProperties();
    // Only the page's header is read now; its rows are read when the first
    // paint scales it (PreviewBitmap::open).
    m_pBitmap = PreviewBitmap::open(m_strImagePath);
    DescribePreview();
    m_bHighContrast = highContrastOn();
    EnableControls(true);
    return TRUE;
}

// The user switched the colour scheme (high contrast on or off, or other
// colours): the preview's paper and ink follow it, and the properties list
// learns the new colours.
void CParamDialog::OnSysColorChange()
{
    m_bHighContrast = highContrastOn();
    forwardSysColorChange(m_hWnd);
}

// The preview is named by its template text; a screen reader also learns
// which page it shows and the page's size, the numbers of the command line
// as the properties list shows them. The fields are named by their labels.
void CParamDialog::DescribePreview()
{
    const std::wstring description = loadFormattedString(
        IDS_PREVIEW_DESCRIPTION, {unsigned(m_nPage), unsigned(m_nWidth), unsigned(m_nHeight), unsigned(m_nResolution)});
    setAccessibleTexts(GetDlgItem(IDC_PREVIEW_FRAME), L"", description);
    for (int field : {IDC_OUTPUT_FILE, IDC_PROPERTIES, IDC_PROFILE})
        nameAfterLabel(GetDlgItem(field));
}

void CParamDialog::FillProperties()
{
    HWND list = GetDlgItem(IDC_PROPERTIES);
    ::SendMessageW(list, LVM_SETVIEW, LV_VIEW_DETAILS, 0);
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    ::SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);

    // Width of a text in the list's font (the header uses the same font).
    auto textWidth = [list](const std::wstring& text) {
        return int(::SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str())));
    };
    std::vector<ListColumnTexts> needs(2);
    // Filled again after a resolution change: the columns are made anew.
    while (::SendMessageW(list, LVM_DELETECOLUMN, 0, 0)) {
    }

    // The columns start empty and are sized once every text is in.
    const UINT columnTexts[] = {IDS_COL_PROPERTY, IDS_COL_VALUE};
    for (int i = 0; i < 2; ++i) {
        std::wstring text;
        loadResourceString(columnTexts[i], text);
        needs[size_t(i)].textWidths.push_back(textWidth(text));
        LVCOLUMNW col = {};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.pszText = &text[0];
        col.cx = 0;
        ::SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
    }

    int index = 0;
    for (const PropertyRow& row : propertyRows(m_nPage, m_nWidth, m_nHeight, m_nResolution)) {
        std::wstring label, value;
        loadResourceString(row.labelId, label);
        // The format string decides signed ("%1!d!") or unsigned ("%1!u!").
        if (row.argCount == 2)
            value = loadFormattedString(row.formatId, {unsigned(row.args[0]), unsigned(row.args[1])});
        else
            value = loadFormattedString(row.formatId, {unsigned(row.args[0])});
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = index;
        item.pszText = &label[0];
        int at = int(::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        LVITEMW sub = {};
        sub.iSubItem = 1;
        sub.pszText = &value[0];
        ::SendMessageW(list, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&sub));
        needs[0].textWidths.push_back(textWidth(label));
        needs[1].textWidths.push_back(textWidth(value));
        ++index;
    }

    // Every column as wide as its widest text, the last one up to the right
    // edge: nothing is shortened with "..." and no sideways scroll bar shows.
    // The client width is read now that the rows are in (a vertical scroll
    // bar, if the rows needed one, already takes its share).
    RECT client = {};
    ::GetClientRect(list, &client);
    const std::vector<int> widths =
        listColumnWidths(needs, scaleForDpi(kListTextMargin, m_nDpi), client.right - client.left);
    for (size_t i = 0; i < widths.size(); ++i)
        ::SendMessageW(list, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(std::min(widths[i], 0x7FFF), 0));
}

void CParamDialog::EnableControls(bool enable)
{
    for (const ControlState& step : enableControlsPlan(enable, m_nPage)) {
        if (step.id == 0)
            ::EnableWindow(m_hWnd, step.enabled);
        else
            EnableDlgItem(step.id, step.enabled);
    }
}

void CParamDialog::UpdateProfileCombo(const std::wstring& name)
{
    ++m_nProfileFills;
    // A repository held by another program leaves the box as it was.
    std::vector<std::wstring> names;
    if (readProfileNamesBounded(names))
        fillProfileCombo(GetDlgItem(IDC_PROFILE), name, names);
}

// Every request would otherwise re-read the repository on this thread, and
// a flood of them (from the editor or anyone who can send to the window)
// would keep the dialog busy reading: a name the box already lists is
// selected at once, and one re-read a moment later serves every request
// made meanwhile, the last name winning. At most one re-read is pending.
void CParamDialog::RequestProfileFill(const std::wstring& name)
{
    m_strPendingProfile = name;
    selectListedProfile(GetDlgItem(IDC_PROFILE), name);
    if (!m_bProfileFillPending)
        m_bProfileFillPending = ::SetTimer(m_hWnd, kProfileFillTimer, kProfileFillDelayMs, nullptr) != 0;
    if (!m_bProfileFillPending)
        UpdateProfileCombo(name);   // no timer to be had: at once, as asked
}

// The user is given the box (input back, the editor's end, OK) only as the
// latest request left it.
void CParamDialog::FlushProfileFill()
{
    if (!m_bProfileFillPending)
        return;
    ::KillTimer(m_hWnd, kProfileFillTimer);
    m_bProfileFillPending = false;
    UpdateProfileCombo(m_strPendingProfile);
}

void CParamDialog::OnShowWindow(BOOL, UINT)
{
    // The flash is given once per dialog: hiding and showing it again does
    // not start the timer a second time.
    if (m_bFirstShow) {
        ::SetTimer(m_hWnd, kFlashTimer, kFlashDelayMs, nullptr);
        m_bFirstShow = false;
    }
}

void CParamDialog::OnTimer(UINT_PTR id)
{
    if (id == kProfileFillTimer) {
        FlushProfileFill();
        return;
    }
    ::KillTimer(m_hWnd, kFlashTimer);
    FLASHWINFO flash = {};
    flash.cbSize = sizeof flash;
    flash.hwnd = m_hWnd;
    flash.dwFlags = FLASHW_ALL | FLASHW_TIMERNOFG;
    flash.uCount = 5;
    flash.dwTimeout = 0;
    ::FlashWindowEx(&flash);
    ++m_nFlashes;
}

void CParamDialog::OnPaint(HDC)
{
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    if (dc) {
        // The brush the dialog erases its background with lies under the
        // picture; the kept scaled copy is made over it.
        HBRUSH background = reinterpret_cast<HBRUSH>(
            ::SendMessageW(m_hWnd, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(m_hWnd)));
        if (!background)
            background = ::GetSysColorBrush(COLOR_3DFACE);
        paintPreview(dc, previewFrameRect(m_hWnd, IDC_PREVIEW_FRAME), m_pBitmap.get(), background,
                     scaleForDpi(1, m_nDpi), m_bHighContrast);
    }
    ::EndPaint(m_hWnd, &ps);
}

BOOL CParamDialog::OnCopyData(HWND, const COPYDATASTRUCT* data)
{
    // Requests count only while the editor this dialog started runs. Who
    // sends them does not matter: the request form binds any program in the
    // editor's place, which may pass no window as the sender or talk from a
    // helper process. A request changes no more than the editor itself may
    // (the box's selection, input back), and its block is never read past.
    if (!data || !m_hEditor || ::WaitForSingleObject(m_hEditor, 0) != WAIT_TIMEOUT)
        return FALSE;
    switch (editorRequest(data->dwData)) {
    case EditorRequest::SelectProfile: {
        std::wstring name;
        if (copyDataProfileName(data->lpData, data->cbData, name))
            RequestProfileFill(name);
        break;
    }
    case EditorRequest::GiveInputBack:
        FlushProfileFill();
        EnableControls(true);
        FocusEditButton();
        break;
    case EditorRequest::Ignore:
        break;
    }
    return FALSE;
}

BOOL CParamDialog::OnGetDpiScaledSize(UINT dpi, SIZE* size)
{
    // Windows places the dialog on the new monitor at the size the layout
    // will take there.
    return size && m_layout.windowSize(m_hWnd, int(dpi), *size);
}

void CParamDialog::OnDpiChanged(UINT dpi, const RECT* suggested)
{
    m_nDpi = int(dpi);
    m_layout.apply(m_hWnd, m_nDpi, suggested);
    FillProperties();
}

void CParamDialog::OnEditProfile(UINT, int, HWND)
{
    // One editor at a time: after its hand-back the dialog is usable again
    // while the first editor still runs.
    if (m_hEditor)
        return;
    const std::wstring parameters = editorParameters(
        GetDlgItemText(IDC_PROFILE), reinterpret_cast<intptr_t>(m_hWnd), m_strImagePath);
    const StartedEditor editor = startProfileEditor(m_hWnd, m_strEditorProgram, parameters);
    if (!editor.process) {
        // The dialog stays as it was; the user learns why nothing opened.
        const std::wstring text =
            loadFormattedString(IDS_EDITOR_MISSING, {m_strEditorProgram, systemMessage(editor.error)});
        ::MessageBoxW(m_hWnd, text.c_str(), loadFormattedString(IDS_APP_TITLE).c_str(), MB_OK | MB_ICONERROR);
        return;
    }
    m_hEditor = editor.process.get();
    EnableControls(false);
    // An answer given after the editor's hand-back ends the wait as well:
    // the modal run returns with it at once, and the editor stays open for
    // the user to close.
    waitForProcessTakingMessages(m_hEditor, GetEndingFlag(), m_hWnd);
    m_hEditor = nullptr;
    FlushProfileFill();
    EnableControls(true);
    FocusEditButton();
}

// The user comes back from the editor where they left: on Edit. (The
// focus was lost when the controls were disabled, and the dialog would give
// it to its first control.)
void CParamDialog::FocusEditButton()
{
    ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(IDC_EDIT_PROFILE)), TRUE);
}

void CParamDialog::OnOK(UINT, int, HWND)
{
    // The typed name is kept even when the user then declines to overwrite.
    m_pSettings->OutputFileName = GetDlgItemText(IDC_OUTPUT_FILE);
    // A name that can never be a file keeps the dialog open, with the box
    // ready for a new name.
    if (!acceptOutputName(m_hWnd, m_pSettings->OutputFileName, m_nPage)) {
        HWND box = GetDlgItem(IDC_OUTPUT_FILE);
        ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(box), TRUE);
        return;
    }
    if (!confirmOverwrite(m_hWnd, m_pSettings->OutputFileName, m_nPage))
        return;
    FlushProfileFill();
    m_pSettings->Profile = GetDlgItemText(IDC_PROFILE);
    m_pSettings->CreateTXTz = true;
    const bool same = SendDlgItemMessage(IDC_SAME_CONFIG, BM_GETCHECK) == BST_CHECKED;
    EndDialog(confirmationResult(same));
}

void CParamDialog::OnCancel(UINT, int, HWND)
{
    EndDialog(IDCANCEL);
}

// The user signs out, shuts down or restarts: the session may end. Nothing
// changes yet, since the end may still be cancelled by another program and
// this page must then be answered as usual.
BOOL CParamDialog::OnQueryEndSession(UINT, UINT)
{
    return TRUE;
}

// The session ends now, and the process may be ended as soon as this
// returns, with whatever exit code it then has: the page is answered as
// cancelled here, the settings file left as it was.
void CParamDialog::OnEndSession(BOOL ending, UINT)
{
    if (ending)
        ExitProcess(IDCANCEL);
}

void CParamDialog::OnSkipPage(UINT, int, HWND)
{
    EndDialog(IDSKIPPAGE);
}

void CParamDialog::OnBrowse(UINT, int, HWND)
{
    browseForOutputFile(m_hWnd, IDC_OUTPUT_FILE);
}
