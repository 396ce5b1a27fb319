#include "app/startup_reads.h"

#include <atomic>

#include "app/profile_list.h"

namespace {

using ReadHook = std::function<void(const std::wstring&)>;
ReadHook g_hook;
DWORD g_limitMs = StartupReads::kReadLimitMs;

} // namespace

// What the worker reads into. Each file name is written before its stage
// is published and never again, so the waiting thread may read the name of
// the published stage at any time.
struct StartupReads::State {
    State(const std::wstring* name, const ReadHook& readHook)
        : readSettings(name != nullptr), settingsName(name ? *name : std::wstring()), hook(readHook)
    {
    }

    const bool readSettings;
    const std::wstring settingsName;
    const ReadHook hook;
    PrinterSettings settings;
    std::vector<std::wstring> names;
    std::wstring files[2];
    std::atomic<int> stage{-1};   // -1: finding the settings file; 0: reading it; 1: the repository
    std::atomic<bool> stop{false};

    void enter(int next, std::wstring file)
    {
        files[next] = std::move(file);
        stage = next;
        if (hook)
            hook(files[next]);
    }
    void read()
    {
        if (readSettings) {
            settings.setSettingsName(settingsName);
            enter(0, settings.IniPath);
            if (stop)
                return;
            settings.load();
        }
        if (stop)
            return;
        enter(1, repositoryFileName());
        if (!stop)
            names = profileNames();
    }
    std::wstring current() const
    {
        const int at = stage;
        return at < 0 ? settingsName : files[at];
    }
};

StartupReads::StartupReads(const std::wstring* settingsName)
    : m_state(std::make_shared<State>(settingsName, g_hook)), m_call([state = m_state] { state->read(); })
{
}

StartupReads::~StartupReads()
{
    try {
        finish();
    } catch (...) {
    }
}

bool StartupReads::finish()
{
    if (!m_finished) {
        m_finished = true;
        const std::shared_ptr<State> state = m_state;
        m_done = m_call.waitFor(g_limitMs, [&] {
            state->stop = true;
            m_heldFile = state->current();
        });
    }
    return m_done;
}

const PrinterSettings& StartupReads::settings() const { return m_state->settings; }

const std::vector<std::wstring>& StartupReads::names() const { return m_state->names; }

bool readProfileNamesBounded(std::vector<std::wstring>& names)
{
    StartupReads reads(nullptr);
    if (!reads.finish()) {
        OutputDebugStringW((L"The profile list was not read again: " + reads.heldFile() + L" is held\n").c_str());
        return false;
    }
    names = reads.names();
    return true;
}

unsigned readLimitSeconds() { return unsigned((g_limitMs + 999) / 1000); }

void setReadHookForTests(std::function<void(const std::wstring&)> hook, DWORD limitMs)
{
    g_limitMs = hook ? limitMs : StartupReads::kReadLimitMs;
    g_hook = std::move(hook);
}
