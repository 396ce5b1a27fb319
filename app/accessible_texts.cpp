#include "app/accessible_texts.h"

#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>

#include "app/core/display_text.h"

// The interface's identity is taken from its declaration (__uuidof): the
// import library names oleacc's exported IID_IAccessible data as code.
namespace {

constexpr UINT_PTR kSubclassId = 0xA11E;

struct Texts {
    std::wstring name, description;
};

// The standard object of the control, with the two texts answered from
// `texts` for the control itself. The texts are shared with the control's
// subclass, so a client that keeps the object after the window has gone
// reads the last ones and nothing freed.
class NamedAccessible final : public IAccessible {
public:
    NamedAccessible(IAccessible* standard, std::shared_ptr<const Texts> texts)
        : m_standard(standard), m_texts(std::move(texts))
    {
    }

    // IUnknown: the interfaces of the standard object it does not have
    // itself (IEnumVARIANT, IOleWindow) come from that object.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        return m_standard->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&m_refs);
        if (left == 0) {
            m_standard->Release();
            delete this;
        }
        return ULONG(left);
    }

    // IDispatch, as the standard object has it.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { return m_standard->GetTypeInfoCount(n); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID lcid, ITypeInfo** info) override
    {
        return m_standard->GetTypeInfo(i, lcid, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT n, LCID lcid, DISPID* ids) override
    {
        return m_standard->GetIDsOfNames(iid, names, n, lcid, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* info, UINT* arg) override
    {
        return m_standard->Invoke(id, iid, lcid, flags, params, result, info, arg);
    }

    // The two texts of the control itself.
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        return answer(child, m_texts->name, name, &IAccessible::get_accName);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override
    {
        return answer(child, m_texts->description, text, &IAccessible::get_accDescription);
    }

    // Everything else is the standard object's.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** p) override { return m_standard->get_accParent(p); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* n) override { return m_standard->get_accChildCount(n); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT c, IDispatch** p) override { return m_standard->get_accChild(c, p); }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT c, BSTR* v) override { return m_standard->get_accValue(c, v); }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT c, VARIANT* r) override { return m_standard->get_accRole(c, r); }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT c, VARIANT* s) override { return m_standard->get_accState(c, s); }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT c, BSTR* h) override { return m_standard->get_accHelp(c, h); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* f, VARIANT c, long* t) override
    {
        return m_standard->get_accHelpTopic(f, c, t);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT c, BSTR* k) override
    {
        return m_standard->get_accKeyboardShortcut(c, k);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* c) override { return m_standard->get_accFocus(c); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* c) override { return m_standard->get_accSelection(c); }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT c, BSTR* a) override
    {
        return m_standard->get_accDefaultAction(c, a);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT c) override { return m_standard->accSelect(flags, c); }
    HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h, VARIANT c) override
    {
        return m_standard->accLocation(x, y, w, h, c);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long dir, VARIANT start, VARIANT* end) override
    {
        return m_standard->accNavigate(dir, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* c) override { return m_standard->accHitTest(x, y, c); }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT c) override { return m_standard->accDoDefaultAction(c); }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT c, BSTR n) override { return m_standard->put_accName(c, n); }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT c, BSTR v) override { return m_standard->put_accValue(c, v); }

private:
    using Getter = HRESULT (STDMETHODCALLTYPE IAccessible::*)(VARIANT, BSTR*);
    HRESULT answer(VARIANT child, const std::wstring& ours, BSTR* out, Getter standard)
    {
        const bool self = child.vt == VT_I4 && child.lVal == CHILDID_SELF;
        if (!self || ours.empty())
            return (m_standard->*standard)(child, out);
        if (!out)
            return E_POINTER;
        *out = SysAllocStringLen(ours.data(), UINT(ours.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    LONG m_refs = 1;
    IAccessible* m_standard;   // owned: one reference
    std::shared_ptr<const Texts> m_texts;
};

LRESULT CALLBACK textsSubclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    auto* texts = reinterpret_cast<std::shared_ptr<Texts>*>(data);
    if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, &textsSubclass, kSubclassId);
        delete texts;
    } else if (msg == WM_GETOBJECT && LONG(lParam) == OBJID_CLIENT) {
        IAccessible* standard = nullptr;
        if (SUCCEEDED(CreateStdAccessibleObject(hwnd, OBJID_CLIENT, __uuidof(IAccessible),
                                                reinterpret_cast<void**>(&standard)))) {
            auto* object = new (std::nothrow) NamedAccessible(standard, *texts);
            if (!object) {
                standard->Release();
                return DefSubclassProc(hwnd, msg, wParam, lParam);
            }
            const LRESULT result = LresultFromObject(__uuidof(IAccessible), wParam, object);
            object->Release();
            return result;
        }
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

// The texts a control was given before (null: none yet). The import
// libraries at hand name GetWindowSubclass by ordinal only, so it is looked up.
std::shared_ptr<Texts>* textsOf(HWND control)
{
    using Lookup = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR*);
    static const Lookup lookup = reinterpret_cast<Lookup>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"comctl32.dll"), "GetWindowSubclass")));
    DWORD_PTR data = 0;
    if (!lookup || !lookup(control, &textsSubclass, kSubclassId, &data))
        return nullptr;
    return reinterpret_cast<std::shared_ptr<Texts>*>(data);
}

} // namespace

bool setAccessibleTexts(HWND control, const std::wstring& name, const std::wstring& description)
{
    std::shared_ptr<Texts>* held = textsOf(control);
    if (!held) {
        auto made = std::make_unique<std::shared_ptr<Texts>>(std::make_shared<Texts>());
        if (!SetWindowSubclass(control, &textsSubclass, kSubclassId, reinterpret_cast<DWORD_PTR>(made.get())))
            return false;
        held = made.release();   // freed with the window (WM_NCDESTROY)
    }
    Texts& texts = **held;
    const bool renamed = texts.name != name;
    texts.name = name;
    texts.description = description;
    if (renamed)
        NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, control, OBJID_CLIENT, CHILDID_SELF);
    return true;
}

bool nameAfterLabel(HWND control)
{
    HWND label = GetWindow(control, GW_HWNDPREV);
    wchar_t kind[16] = {};
    if (!label || !GetClassNameW(label, kind, 16) || lstrcmpiW(kind, L"Static") != 0)
        return false;
    std::wstring text(size_t(GetWindowTextLengthW(label)) + 1, L'\0');
    text.resize(size_t(std::max(0, GetWindowTextW(label, &text[0], int(text.size())))));
    return setAccessibleTexts(control, shownLabel(text).text, L"");
}

static std::atomic<int> forcedHighContrast{-1};

void forceHighContrastForTests(int on)
{
    forcedHighContrast = on;
}

bool highContrastOn()
{
    if (const int forced = forcedHighContrast.load(); forced >= 0)
        return forced != 0;
    HIGHCONTRASTW scheme = {};
    scheme.cbSize = sizeof scheme;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof scheme, &scheme, 0) &&
           (scheme.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

void forwardSysColorChange(HWND dialog)
{
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        SendMessageW(child, WM_SYSCOLORCHANGE, 0, 0);
    InvalidateRect(dialog, nullptr, TRUE);
}
