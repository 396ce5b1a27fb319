// tessforge7.exe: the profile editor the configuration dialog starts with
//   tessforge7.exe NAME -nologo -hwnd WINDOW -icp "IMAGE"
// It lists the profiles of the default repository with NAME selected, lets
// the user copy, rename and remove profiles and change their main settings,
// and saves through the repository. After a save it sends WINDOW the request
// to refill its profile box and select the current profile (WM_COPYDATA
// 0x446A5675, the name as UTF-16 with its NUL); OK sends that and then gives
// the window its input back (0x446A5676) before the editor closes.
//
// Texts are English, or German for a German user (TESSFORGE7_LANG=de or en
// decides instead). TESSFORGE7_SCRIPT runs the window's own actions one
// after another without a user, for tests and the demo on machines without
// a display: steps separated by ';'
//   select:NAME new:NAME rename:NAME remove mode:N bg:N fg:N bitonal:N
//   picture:N description:TEXT apply save send giveback pause:MS
//   gate:EVENT (waits until the named event is set) ok cancel
//   onchange:reload|overwrite (what a scripted save does with a profile that
//   another program changed too after the file was read: keep theirs, the
//   default, or save ours over it)
// The script acts only through the window's own controls and the user's
// rights: it is automation, documented for integrators (docs/INTEGRATION.md),
// and stays in the release.
//
//   tessforge7.exe -import "FILE"
// adds the profiles of the repository file FILE that the default repository
// lacks (an installer's upgrade step for defaults.dprepo) and ends: 0 when
// done, 1 when FILE could not be read or the repository not written.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "app/core/editor_link.h"
#include "baselib/svr_handle_win.h"
#include "baselib/svr_stdout_win.h"
#include "baselib/svr_winutils.h"
#include "resource.h"
#include "tools/tessforge7/editor_model.h"

using Solvaris::DjVu::ProfileRepository;
using tessforge::EditorModel;
using tessforge::MainSettings;
using Solvaris_Win32::utf8;
using Solvaris_Win32::wide;

namespace {

// ---- texts -----------------------------------------------------------------

LANGID g_language = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

void chooseLanguage()
{
    wchar_t forced[8] = {};
    if (GetEnvironmentVariableW(L"TESSFORGE7_LANG", forced, 8) && forced[0]) {
        if (_wcsicmp(forced, L"de") == 0)
            g_language = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
        return;
    }
    if (PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_GERMAN ||
        PRIMARYLANGID(LANGIDFROMLCID(GetUserDefaultLCID())) == LANG_GERMAN)
        g_language = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
}

// Resource of the chosen language, English when it has none.
HRSRC findResource(LPCWSTR type, LPCWSTR name)
{
    HRSRC r = FindResourceExW(nullptr, type, name, g_language);
    return r ? r : FindResourceExW(nullptr, type, name, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
}

std::wstring text(UINT id)
{
    HRSRC r = findResource(RT_STRING, MAKEINTRESOURCEW(id / 16 + 1));
    const wchar_t* p = r ? static_cast<const wchar_t*>(LockResource(LoadResource(nullptr, r))) : nullptr;
    if (!p)
        return std::wstring();
    for (UINT i = 0; i < id % 16; ++i)
        p += 1 + *p;
    return std::wstring(p + 1, *p);
}

// text(id) with "%1", "%2", ... replaced by the inserts, in one pass over
// the text (an insert is never searched for marks).
std::wstring text(UINT id, std::initializer_list<std::wstring> inserts)
{
    const std::wstring t = text(id);
    std::wstring out;
    for (size_t i = 0; i < t.size(); ++i) {
        const size_t n = i + 1 < t.size() ? size_t(t[i + 1] - L'1') : inserts.size();
        if (t[i] == L'%' && n < inserts.size()) {
            out += inserts.begin()[n];
            ++i;
        } else {
            out += t[i];
        }
    }
    return out;
}

std::wstring text(UINT id, const std::wstring& insert) { return text(id, {insert}); }

INT_PTR dialogBox(UINT id, HWND owner, DLGPROC proc, LPARAM param)
{
    HRSRC r = findResource(RT_DIALOG, MAKEINTRESOURCEW(id));
    const DLGTEMPLATE* t = r ? static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(nullptr, r))) : nullptr;
    return t ? DialogBoxIndirectParamW(nullptr, t, owner, proc, param) : -1;
}

std::wstring itemText(HWND dlg, int id)
{
    const int n = GetWindowTextLengthW(GetDlgItem(dlg, id));
    std::wstring s(size_t(n) + 1, L'\0');
    GetDlgItemTextW(dlg, id, &s[0], n + 1);
    s.resize(size_t(n));
    return s;
}

// ---- the name prompt ---------------------------------------------------------

struct NamePrompt {
    std::wstring title, name;
};

INT_PTR CALLBACK namePromptProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    NamePrompt* prompt = reinterpret_cast<NamePrompt*>(GetWindowLongPtrW(dlg, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dlg, DWLP_USER, lParam);
        prompt = reinterpret_cast<NamePrompt*>(lParam);
        SetWindowTextW(dlg, prompt->title.c_str());
        SetDlgItemTextW(dlg, IDC_NAME, prompt->name.c_str());
        SendDlgItemMessageW(dlg, IDC_NAME, EM_SETSEL, 0, -1);
        SetFocus(GetDlgItem(dlg, IDC_NAME));
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            prompt->name = itemText(dlg, IDC_NAME);
            EndDialog(dlg, IDOK);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dlg, IDCANCEL);
        }
        return TRUE;
    }
    return FALSE;
}

// ---- the editor window ---------------------------------------------------------

class Editor {
public:
    Editor(const EditorArguments& args) : m_args(args) {}

    INT_PTR run()
    {
        wchar_t script[4096] = {};
        if (GetEnvironmentVariableW(L"TESSFORGE7_SCRIPT", script, 4096))
            m_script = splitSteps(script);
        return dialogBox(IDD_EDITOR, nullptr, &Editor::proc, reinterpret_cast<LPARAM>(this));
    }

private:
    static INT_PTR CALLBACK proc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        Editor* self = reinterpret_cast<Editor*>(GetWindowLongPtrW(dlg, DWLP_USER));
        if (msg == WM_INITDIALOG) {
            SetWindowLongPtrW(dlg, DWLP_USER, lParam);
            self = reinterpret_cast<Editor*>(lParam);
            self->m_dlg = dlg;
            return self->init();
        }
        return self ? self->handle(msg, wParam, lParam) : FALSE;
    }

    BOOL init()
    {
        m_model = std::make_unique<EditorModel>();
        fillChoices(IDC_MODE, tessforge::encodeModeChoices());
        fillChoices(IDC_BITONAL, tessforge::bitonalEncodingChoices());
        fillChoices(IDC_PICTURE, tessforge::pictureEncodingChoices());
        SendDlgItemMessageW(m_dlg, IDC_BG_QUALITY, EM_LIMITTEXT, 3, 0);
        SendDlgItemMessageW(m_dlg, IDC_FG_QUALITY, EM_LIMITTEXT, 3, 0);
        SendDlgItemMessageW(m_dlg, IDC_DESCRIPTION, EM_LIMITTEXT, 1000, 0);
        refill(utf8(m_args.profileName));
        if (!m_script.empty())
            SetTimer(m_dlg, 1, 100, nullptr);
        SetFocus(GetDlgItem(m_dlg, IDC_PROFILES));
        return FALSE;
    }

    INT_PTR handle(UINT msg, WPARAM wParam, LPARAM)
    {
        switch (msg) {
        case WM_TIMER:
            runScriptStep();
            return TRUE;
        case WM_QUERYENDSESSION:
            return answer(sessionMayEnd());
        case WM_ENDSESSION:
            // The process may be ended as soon as this returns: it ends now,
            // as after Cancel, with whatever is unsaved left unsaved (the
            // user chose to end the session anyway).
            if (wParam)
                ExitProcess(1);
            return answer(0);
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
            case IDC_PROFILES:
                if (HIWORD(wParam) == LBN_SELCHANGE)
                    selectionChanged();
                return TRUE;
            case IDC_NEW:
                if (HIWORD(wParam) == BN_CLICKED)
                    onNew(nullptr);
                return TRUE;
            case IDC_RENAME:
                if (HIWORD(wParam) == BN_CLICKED)
                    onRename(nullptr);
                return TRUE;
            case IDC_REMOVE:
                if (HIWORD(wParam) == BN_CLICKED)
                    onRemove(true);
                return TRUE;
            case IDC_APPLY:
                if (HIWORD(wParam) == BN_CLICKED)
                    commitSettings();
                return TRUE;
            case IDC_SAVE:
                if (HIWORD(wParam) == BN_CLICKED)
                    onSave();
                return TRUE;
            case IDOK:
                onOk();
                return TRUE;
            case IDCANCEL:
                onCancel(true);
                return TRUE;
            }
            return FALSE;
        }
        return FALSE;
    }

    // ---- list and fields

    void fillChoices(int id, const std::vector<std::string>& choices)
    {
        for (const std::string& c : choices)
            SendDlgItemMessageW(m_dlg, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(c).c_str()));
    }

    // Lists the repository's profiles and selects `name` (else the first).
    void refill(const std::string& name)
    {
        HWND list = GetDlgItem(m_dlg, IDC_PROFILES);
        SendMessageW(list, LB_RESETCONTENT, 0, 0);
        int select = 0, i = 0;
        for (const std::string& n : m_model->names()) {
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(n).c_str()));
            if (n == name)
                select = i;
            ++i;
        }
        SendMessageW(list, LB_SETCURSEL, WPARAM(select), 0);
        m_current = selectedName();
        showSettings();
    }

    std::string selectedName() const
    {
        HWND list = GetDlgItem(m_dlg, IDC_PROFILES);
        const LRESULT i = SendMessageW(list, LB_GETCURSEL, 0, 0);
        if (i < 0)
            return std::string();
        std::wstring s(size_t(SendMessageW(list, LB_GETTEXTLEN, WPARAM(i), 0)) + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(&s[0]));
        s.resize(wcslen(s.c_str()));
        return utf8(s);
    }

    void showSettings()
    {
        MainSettings s;
        std::string error;
        const bool known = !m_current.empty() && m_model->settings(m_current, s, error);
        SendDlgItemMessageW(m_dlg, IDC_MODE, CB_SETCURSEL, known ? WPARAM(s.encodeMode) : WPARAM(-1), 0);
        SendDlgItemMessageW(m_dlg, IDC_BITONAL, CB_SETCURSEL, known ? WPARAM(s.bitonalEncoding) : WPARAM(-1), 0);
        SendDlgItemMessageW(m_dlg, IDC_PICTURE, CB_SETCURSEL, known ? WPARAM(s.pictureEncoding) : WPARAM(-1), 0);
        SetDlgItemTextW(m_dlg, IDC_BG_QUALITY, known ? std::to_wstring(s.backgroundQuality).c_str() : L"");
        SetDlgItemTextW(m_dlg, IDC_FG_QUALITY, known ? std::to_wstring(s.foregroundQuality).c_str() : L"");
        SetDlgItemTextW(m_dlg, IDC_DESCRIPTION, known ? wide(s.description).c_str() : L"");
        // A read-only profile (the built-in one) can only be copied.
        const bool editable = known && !m_model->readOnly(m_current);
        for (int id : {IDC_MODE, IDC_BG_QUALITY, IDC_FG_QUALITY, IDC_BITONAL, IDC_PICTURE, IDC_DESCRIPTION, IDC_APPLY,
                       IDC_RENAME, IDC_REMOVE})
            EnableWindow(GetDlgItem(m_dlg, id), editable);
        EnableWindow(GetDlgItem(m_dlg, IDC_NEW), known);
    }

    bool readQuality(int id, uint32_t& value)
    {
        const std::wstring t = itemText(m_dlg, id);
        if (t.empty() || t.size() > 3 || t.find_first_not_of(L"0123456789") != std::wstring::npos)
            return false;
        value = uint32_t(std::stoul(t));
        return true;
    }

    // Puts the fields into the current profile; false (after telling the
    // user) when they were refused, so the user stays on this profile.
    bool commitSettings()
    {
        if (m_current.empty() || m_model->readOnly(m_current))
            return true;
        MainSettings s;
        std::string error;
        if (!m_model->settings(m_current, s, error))
            return true;
        s.encodeMode = uint32_t(SendDlgItemMessageW(m_dlg, IDC_MODE, CB_GETCURSEL, 0, 0));
        s.bitonalEncoding = uint32_t(SendDlgItemMessageW(m_dlg, IDC_BITONAL, CB_GETCURSEL, 0, 0));
        s.pictureEncoding = uint32_t(SendDlgItemMessageW(m_dlg, IDC_PICTURE, CB_GETCURSEL, 0, 0));
        s.description = utf8(itemText(m_dlg, IDC_DESCRIPTION));
        for (int id : {IDC_BG_QUALITY, IDC_FG_QUALITY}) {
            if (!readQuality(id, id == IDC_BG_QUALITY ? s.backgroundQuality : s.foregroundQuality)) {
                complain(text(IDS_NOT_A_NUMBER));
                SetFocus(GetDlgItem(m_dlg, id));
                return false;
            }
        }
        if (!m_model->apply(m_current, s, error)) {
            complain(text(IDS_REFUSED, wide(error)));
            return false;
        }
        return true;
    }

    void selectionChanged()
    {
        if (!commitSettings()) {
            // Back to the profile whose fields were refused.
            refillKeepingFields();
            return;
        }
        m_current = selectedName();
        showSettings();
    }

    void refillKeepingFields()
    {
        HWND list = GetDlgItem(m_dlg, IDC_PROFILES);
        const LRESULT i = SendMessageW(list, LB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(wide(m_current).c_str()));
        SendMessageW(list, LB_SETCURSEL, WPARAM(i < 0 ? 0 : i), 0);
    }

    void complain(const std::wstring& message)
    {
        if (!m_script.empty()) {
            // Nobody to answer a box: the message goes to the error output.
            std::fprintf(stderr, "tessforge7: %s\n", utf8(message).c_str());
            return;
        }
        MessageBoxW(m_dlg, message.c_str(), text(IDS_TITLE).c_str(), MB_OK | MB_ICONWARNING);
    }

    // ---- actions (buttons and script steps)

    bool askName(const std::wstring& title, std::wstring& name)
    {
        NamePrompt prompt{title, name};
        if (dialogBox(IDD_NAME, m_dlg, namePromptProc, reinterpret_cast<LPARAM>(&prompt)) != IDOK)
            return false;
        name = prompt.name;
        return true;
    }

    void onNew(const std::wstring* given)
    {
        if (m_current.empty() || !commitSettings())
            return;
        std::wstring name = given ? *given : text(IDS_COPY_SUFFIX, wide(m_current));
        if (!given && !askName(text(IDS_NEW_TITLE, wide(m_current)), name))
            return;
        std::string error;
        if (!m_model->createCopy(m_current, utf8(name), error)) {
            complain(text(IDS_REFUSED, wide(error)));
            return;
        }
        refill(utf8(name));
    }

    void onRename(const std::wstring* given)
    {
        if (m_current.empty() || !commitSettings())
            return;
        std::wstring name = given ? *given : wide(m_current);
        if (!given && !askName(text(IDS_RENAME_TITLE, wide(m_current)), name))
            return;
        std::string error;
        if (!m_model->rename(m_current, utf8(name), error)) {
            complain(text(IDS_REFUSED, wide(error)));
            return;
        }
        refill(utf8(name));
    }

    void onRemove(bool ask)
    {
        if (m_current.empty())
            return;
        if (ask && MessageBoxW(m_dlg, text(IDS_REMOVE_QUESTION, wide(m_current)).c_str(), text(IDS_TITLE).c_str(),
                               MB_YESNO | MB_ICONQUESTION) != IDYES)
            return;
        const LRESULT at = SendDlgItemMessageW(m_dlg, IDC_PROFILES, LB_GETCURSEL, 0, 0);
        std::string error;
        if (!m_model->remove(m_current, error)) {
            complain(text(IDS_REFUSED, wide(error)));
            return;
        }
        // The neighbour below takes the place, else the one above.
        const std::vector<std::string> names = m_model->names();
        refill(names.empty() ? std::string() : names[size_t(std::min<LRESULT>(at, LRESULT(names.size()) - 1))]);
    }

    // How a profile that another program changed too after this editor
    // read the file is settled: the user is asked, naming it - Yes keeps
    // the other program's version, No saves this editor's over it, Cancel
    // saves nothing. A script's step answers with its "onchange:" setting
    // instead (the other's version unless it said overwrite).
    int askBothChanged(const std::string& name)
    {
        if (!m_inScriptStep)
            return MessageBoxW(m_dlg, text(IDS_CHANGED_ELSEWHERE, wide(name)).c_str(), text(IDS_TITLE).c_str(),
                               MB_YESNOCANCEL | MB_ICONWARNING);
        Solvaris_Win32::writeStandardOutput("tessforge7: the profile " + name + " changed elsewhere; " +
                                            (m_overwriteWhenChanged ? "saving ours over it" : "keeping theirs") +
                                            "\n");
        return m_overwriteWhenChanged ? IDNO : IDYES;
    }

    // Saves this editor's changes on top of whatever another program (a
    // second editor, say) saved meanwhile; asks only about a profile that
    // both changed. True when nothing is left unsaved.
    bool saveAll()
    {
        if (!commitSettings())
            return false;
        if (!m_model->dirty())
            return true;
        std::string error, conflict;
        bool saved = m_model->save(error, ProfileRepository::failOnBothChanged, &conflict);
        if (!saved && !conflict.empty()) {
            const int answer = askBothChanged(conflict);
            if (answer == IDCANCEL)
                return false;
            saved = m_model->save(error, answer == IDYES ? ProfileRepository::keepTheirs : ProfileRepository::keepOurs);
        }
        if (!saved) {
            complain(text(IDS_REFUSED, wide(error)));
            return false;
        }
        // Profiles another program saved meanwhile are listed now too.
        refill(m_current);
        size_t kept = 0;
        std::string copy;
        if (m_model->savedOverDamage(kept, copy))
            complain(text(IDS_DAMAGED_KEPT, {std::to_wstring(kept), wide(copy)}));
        return true;
    }

    void onSave()
    {
        if (saveAll())
            sendSelect();
    }

    void onOk()
    {
        if (!saveAll())
            return;
        sendSelect();
        sendGiveBack();
        EndDialog(m_dlg, IDOK);
    }

    // A dialog procedure's answer to a message that has one.
    INT_PTR answer(LRESULT result)
    {
        SetWindowLongPtrW(m_dlg, DWLP_MSGRESULT, result);
        return TRUE;
    }

    // The session is about to end. With changes not saved, the end is held
    // up with a reason the system shows beside this window: the user can
    // come back and save, which the "unsaved changes" question could not
    // offer in the time the system gives. The reason goes once nothing is
    // unsaved, so a later end is not held up.
    BOOL sessionMayEnd()
    {
        if (!m_model->dirty()) {
            ShutdownBlockReasonDestroy(m_dlg);
            return TRUE;
        }
        const std::wstring reason = text(IDS_SESSION_HELD);
        ShutdownBlockReasonCreate(m_dlg, reason.c_str());
        Solvaris_Win32::writeStandardOutput("tessforge7: end of session held: " + utf8(reason) + "\n");
        return FALSE;
    }

    void onCancel(bool ask)
    {
        if (ask && m_script.empty() && m_model->dirty()) {
            const int answer =
                MessageBoxW(m_dlg, text(IDS_UNSAVED).c_str(), text(IDS_TITLE).c_str(), MB_YESNOCANCEL | MB_ICONQUESTION);
            if (answer == IDCANCEL)
                return;
            if (answer == IDYES) {
                onOk();
                return;
            }
        }
        EndDialog(m_dlg, IDCANCEL);
    }

    // ---- messages to the dialog that started the editor

    HWND target() const
    {
        HWND w = reinterpret_cast<HWND>(m_args.window);
        return w && IsWindow(w) ? w : nullptr;
    }

    void send(uint32_t request, const std::u16string* block)
    {
        HWND w = target();
        if (!w)
            return;
        COPYDATASTRUCT data = {};
        data.dwData = request;
        if (block) {
            data.cbData = DWORD(block->size() * sizeof(char16_t));
            data.lpData = const_cast<char16_t*>(block->data());
        }
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(w, WM_COPYDATA, reinterpret_cast<WPARAM>(m_dlg), reinterpret_cast<LPARAM>(&data),
                            SMTO_ABORTIFHUNG, 10000, &ignored);
    }

    void sendSelect()
    {
        const std::u16string block = copyDataBlock(wide(m_current));
        send(kSelectProfileRequest, &block);
    }

    void sendGiveBack() { send(kGiveInputBackRequest, nullptr); }

    // ---- the script

    static std::vector<std::wstring> splitSteps(const std::wstring& script)
    {
        std::vector<std::wstring> out;
        size_t at = 0;
        while (at <= script.size()) {
            size_t end = script.find(L';', at);
            if (end == std::wstring::npos)
                end = script.size();
            if (end > at)
                out.push_back(script.substr(at, end - at));
            at = end + 1;
        }
        return out;
    }

    void setField(int id, const std::wstring& value, bool choice)
    {
        if (choice)
            SendDlgItemMessageW(m_dlg, id, CB_SETCURSEL, WPARAM(_wtoi(value.c_str())), 0);
        else
            SetDlgItemTextW(m_dlg, id, value.c_str());
    }

    void runScriptStep()
    {
        if (m_pauseUntil && GetTickCount() < m_pauseUntil)
            return;
        m_pauseUntil = 0;
        if (m_next >= m_script.size()) {
            KillTimer(m_dlg, 1);
            return;
        }
        const std::wstring step = m_script[m_next];
        const size_t colon = step.find(L':');
        const std::wstring verb = step.substr(0, colon);
        const std::wstring arg = colon == std::wstring::npos ? std::wstring() : step.substr(colon + 1);
        if (verb == L"gate") {
            const Solvaris_Win32::UniqueHandle event(OpenEventW(SYNCHRONIZE, FALSE, arg.c_str()));
            const bool open = event && WaitForSingleObject(event.get(), 0) == WAIT_OBJECT_0;
            if (!open)
                return;   // asked again at the next tick
        }
        ++m_next;
        Solvaris_Win32::writeStandardOutput("tessforge7 step: " + utf8(step) + "\n");
        m_inScriptStep = true;
        runStep(verb, arg, step);
        m_inScriptStep = false;
    }

    void runStep(const std::wstring& verb, const std::wstring& arg, const std::wstring& step)
    {
        if (verb == L"select") {
            refill(utf8(arg));
        } else if (verb == L"new") {
            onNew(&arg);
        } else if (verb == L"rename") {
            onRename(&arg);
        } else if (verb == L"remove") {
            onRemove(false);
        } else if (verb == L"mode") {
            setField(IDC_MODE, arg, true);
        } else if (verb == L"bitonal") {
            setField(IDC_BITONAL, arg, true);
        } else if (verb == L"picture") {
            setField(IDC_PICTURE, arg, true);
        } else if (verb == L"bg") {
            setField(IDC_BG_QUALITY, arg, false);
        } else if (verb == L"fg") {
            setField(IDC_FG_QUALITY, arg, false);
        } else if (verb == L"description") {
            setField(IDC_DESCRIPTION, arg, false);
        } else if (verb == L"apply") {
            commitSettings();
        } else if (verb == L"save") {
            saveAll();
        } else if (verb == L"send") {
            sendSelect();
        } else if (verb == L"giveback") {
            sendGiveBack();
        } else if (verb == L"pause") {
            m_pauseUntil = GetTickCount() + DWORD(_wtoi(arg.c_str()));
        } else if (verb == L"ok") {
            onOk();
        } else if (verb == L"cancel") {
            onCancel(false);
        } else if (verb == L"onchange") {
            m_overwriteWhenChanged = arg == L"overwrite";
        } else if (verb != L"gate") {
            std::fprintf(stderr, "tessforge7: unknown step %s\n", utf8(step).c_str());
        }
    }

    EditorArguments m_args;
    HWND m_dlg = nullptr;
    std::unique_ptr<EditorModel> m_model;
    std::string m_current;
    std::vector<std::wstring> m_script;
    size_t m_next = 0;
    DWORD m_pauseUntil = 0;
    bool m_inScriptStep = false;
    bool m_overwriteWhenChanged = false;
};

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    chooseLanguage();
    const std::wstring parameters = parametersOfCommandLine(GetCommandLineW());
    std::wstring importFile;
    if (tessforge::parseImportArguments(parameters, importFile)) {
        // An installer's step: new default profiles into the user's repository.
        std::string error;
        std::vector<std::string> added;
        try {
            EditorModel model;
            if (model.importMissing(utf8(importFile), added, error) && (added.empty() || model.save(error))) {
                for (const std::string& name : added)
                    Solvaris_Win32::writeStandardOutput("imported: " + name + "\n");
                return 0;
            }
        } catch (const std::exception& e) {
            error = e.what();
        }
        std::fprintf(stderr, "tessforge7: %s\n", error.c_str());
        return 1;
    }
    const EditorArguments args = parseEditorArguments(parameters);
    if (!args.valid) {
        std::fprintf(stderr, "usage: tessforge7.exe [PROFILE] [-nologo] [-hwnd WINDOW] [-icp \"IMAGE\"]\n"
                             "       tessforge7.exe -import \"REPOSITORY FILE\"\n");
        return 2;
    }
    try {
        Editor editor(args);
        return editor.run() == IDOK ? 0 : 1;
    } catch (const std::exception& e) {
        // The repository could not be opened at all.
        MessageBoxA(nullptr, e.what(), "tessforge7", MB_OK | MB_ICONERROR);
        return 3;
    }
}
