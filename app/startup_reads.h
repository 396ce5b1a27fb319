// The reads the page dialog needs before it shows - the settings record and
// the profile names - made one after the other on one worker, and bounded in
// time: a file that another program holds (an opportunistic lock stalls the
// open itself) would otherwise hold the dialog, and the converter waiting for
// it, for ever. A read not done within the bound is given up: its blocked
// open or read is cancelled, and the caller learns which file was held.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/background_call.h"
#include "settings/printer_settings.h"

class StartupReads {
public:
    static constexpr DWORD kReadLimitMs = 10000;

    // Starts the worker: the settings record of `settingsName` (none when
    // null), then the profile names.
    explicit StartupReads(const std::wstring* settingsName);
    // Never waited for beyond the bound, also when nobody asked for the
    // result (what the reads threw is then of no interest).
    ~StartupReads();
    StartupReads(const StartupReads&) = delete;
    StartupReads& operator=(const StartupReads&) = delete;

    // Waits for both reads, at most the bound. True: settings() and names()
    // hold what was read. False: the reads were given up and heldFile()
    // names the file the worker was reading. Later calls give the same.
    bool finish();

    const PrinterSettings& settings() const;
    const std::vector<std::wstring>& names() const;
    const std::wstring& heldFile() const { return m_heldFile; }

private:
    struct State;
    std::shared_ptr<State> m_state;  // shared with the worker, which may outlive this object
    BackgroundCall m_call;
    std::wstring m_heldFile;
    bool m_finished = false;
    bool m_done = false;
};

// The profile names read again (for a request of the editor), on a worker
// and within the same bound. False when the read was given up; `names` is
// then left as it was.
bool readProfileNamesBounded(std::vector<std::wstring>& names);

// The bound in seconds, as the box that names a held file tells it.
unsigned readLimitSeconds();

// For tests: `hook` runs on the worker right before each of these reads,
// with the path of the file to be read, and `limitMs` replaces the bound.
// An empty hook puts both back.
void setReadHookForTests(std::function<void(const std::wstring&)> hook, DWORD limitMs);
