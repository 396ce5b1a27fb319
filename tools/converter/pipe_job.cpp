// converter pipe: plays the converter's side of the progress pipe. It creates
// a named pipe, starts PrintvaneUI.exe -pipe with its path, carries out a
// script of steps, and reports how and when the program ended.
//
//   converter pipe [--demo] [--path NAME] [--report FILE] [--limit MS] STEP...
//
// Steps (one argument each):
//   count:N            page count N ('p', payload 8 bytes, count in bytes 4..7)
//   doc:TEXT           document name ('d')
//   status:TEXT        status text ('m')
//   log:TEXT           log line ('l')
//   page image text compress finalize     the bare kinds P F T S E
//   raw:KIND:LEN[:HEX] a record of KIND (a letter or a number) whose length
//                      field says LEN, followed by the bytes HEX (fewer bytes
//                      than LEN leave the record cut short)
//   query              window query; the 4-byte reply is read and compared
//                      with the progress window's handle
//   sleep:MS           pause
//   window             wait until the progress window is shown
//   shot:FILE          save a picture of the progress window (BMP)
//   cancel             press the window's Cancel button
//   wait-exit          wait for the program to end with the pipe still open
//   close              close the converter's end (the normal end of a job)
// After the last step the pipe is closed (if still open) and the program's
// end is awaited. --demo runs a built-in job of four pages.
//
// The stand-in's own exit code: 0 when the program ended in time with exit
// code 0 and every query was answered with the window handle; 1 otherwise;
// 2 for a bad command line.
#include "tools/converter/launch.h"

#include "app/core/pipe_protocol.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

namespace {

const DWORD kIoLimitMs = 10000;

// Lines go to the console and, with --report, to a file (UTF-8).
class Log {
public:
    void open(const std::wstring& path) { m_file = path.empty() ? nullptr : _wfopen(path.c_str(), L"wb"); }
    ~Log()
    {
        if (m_file)
            std::fclose(m_file);
    }
    void line(const char* format, ...)
    {
        char text[1024];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        std::printf("%s\n", text);
        std::fflush(stdout);
        if (m_file) {
            std::fprintf(m_file, "%s\n", text);
            std::fflush(m_file);
        }
    }

private:
    FILE* m_file = nullptr;
};

class PipeSession {
public:
    explicit PipeSession(Log& log) : m_log(log) {}
    ~PipeSession()
    {
        closePipe();
        if (m_child.process && WaitForSingleObject(m_child.process.get(), 0) == WAIT_TIMEOUT)
            TerminateProcess(m_child.process.get(), 0xDEAD);
    }

    bool start(const std::wstring& name)
    {
        m_pipe = std::make_unique<winkit::ServerPipe>(name);
        if (!m_pipe->valid()) {
            m_log.line("cannot create the pipe %s (error %lu)", utf8(name).c_str(), GetLastError());
            m_pipe.reset();
            return false;
        }
        m_started = GetTickCount();
        m_child = startPrintvane({L"-pipe", name});
        if (!m_child.process) {
            m_log.line("cannot start %s (error %lu)", utf8(printvanePath()).c_str(), GetLastError());
            return false;
        }
        m_log.line("started PrintvaneUI.exe -pipe %s (process %lu)", utf8(name).c_str(), m_child.pid);

        if (!m_pipe->connect(m_child.process.get(), 20000)) {
            m_log.line("the program did not open the pipe");
            return false;
        }
        m_log.line("connected after %lu ms", GetTickCount() - m_started);
        return true;
    }

    // Writes all bytes, at most kIoLimitMs; false when the program is gone.
    bool send(const std::vector<uint8_t>& bytes, const char* what)
    {
        if (!m_pipe)
            return false;
        if (!m_pipe->write(bytes.data(), bytes.size(), kIoLimitMs)) {
            m_log.line("sent %s: failed (error %lu): the program no longer reads", what, GetLastError());
            return false;
        }
        m_log.line("sent %s", what);
        return true;
    }

    // Sends a window query and checks the reply against the window handle.
    bool query()
    {
        if (!send(encodePipeMessage(PM_GET_WINDOW, nullptr, 0), "window query"))
            return false;
        uint32_t value = 0;
        if (!m_pipe->readValue(value, kIoLimitMs)) {
            m_log.line("query: no reply (error %lu)", GetLastError());
            return false;
        }
        HWND w = window(5000);
        uint32_t expected = uint32_t(reinterpret_cast<uintptr_t>(w));
        bool match = w && value == expected;
        m_log.line("query: reply 0x%08X, progress window 0x%08X: %s", value, expected,
                   match ? "match" : "MISMATCH");
        return match;
    }

    HWND window(DWORD limitMs) { return waitForDialog(m_child, limitMs); }

    void closePipe()
    {
        if (!m_pipe)
            return;
        m_pipe.reset();
        m_closedAt = GetTickCount();
        m_log.line("closed the converter's end");
    }

    // Waits for the program's end; true when it ended with 0.
    bool awaitEnd(DWORD limitMs)
    {
        if (m_awaited)
            return m_endedWell;
        m_awaited = true;
        DWORD code = 0;
        if (!waitForExit(m_child.process.get(), limitMs, code)) {
            m_log.line("the program did not end within %lu ms; terminated", limitMs);
            return false;
        }
        const DWORD now = GetTickCount();
        if (m_pipe)
            m_log.line("program ended with exit code %ld (0x%08lX) after %lu ms, while the pipe was still open",
                       long(code), code, now - m_started);
        else
            m_log.line("program ended with exit code %ld (0x%08lX) after %lu ms, %lu ms after the pipe was closed",
                       long(code), code, now - m_started, now - m_closedAt);
        m_endedWell = code == 0;
        return m_endedWell;
    }

    bool ended() const { return WaitForSingleObject(m_child.process.get(), 0) == WAIT_OBJECT_0; }

private:
    Log& m_log;
    std::unique_ptr<winkit::ServerPipe> m_pipe;
    Child m_child;
    DWORD m_started = 0;
    DWORD m_closedAt = 0;
    bool m_awaited = false;
    bool m_endedWell = false;
};

std::u16string u16(const std::wstring& w) { return std::u16string(w.begin(), w.end()); }

bool parseHex(const std::wstring& hex, std::vector<uint8_t>& out)
{
    if (hex.size() % 2)
        return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        wchar_t pair[3] = {hex[i], hex[i + 1], 0};
        wchar_t* end = nullptr;
        unsigned long v = std::wcstoul(pair, &end, 16);
        if (*end)
            return false;
        out.push_back(uint8_t(v));
    }
    return true;
}

// A raw record: "KIND:LEN[:HEX]".
bool parseRaw(const std::wstring& text, std::vector<uint8_t>& out)
{
    size_t c1 = text.find(L':');
    if (c1 == std::wstring::npos || c1 == 0)
        return false;
    std::wstring kindText = text.substr(0, c1);
    uint32_t kind = kindText.size() == 1 && !iswdigit(kindText[0]) ? uint32_t(kindText[0])
                                                                    : uint32_t(std::wcstoul(kindText.c_str(), nullptr, 10));
    size_t c2 = text.find(L':', c1 + 1);
    std::wstring lenText = text.substr(c1 + 1, c2 == std::wstring::npos ? std::wstring::npos : c2 - c1 - 1);
    if (lenText.empty())
        return false;
    uint32_t length = uint32_t(std::wcstoul(lenText.c_str(), nullptr, 10));
    std::vector<uint8_t> payload;
    if (c2 != std::wstring::npos && !parseHex(text.substr(c2 + 1), payload))
        return false;
    out = encodePipeMessage(kind, nullptr, 0);
    out[4] = uint8_t(length);
    out[5] = uint8_t(length >> 8);
    out[6] = uint8_t(length >> 16);
    out[7] = uint8_t(length >> 24);
    out.insert(out.end(), payload.begin(), payload.end());
    return true;
}

Args demoScript(const std::wstring& shots)
{
    Args s = {L"window", L"query", L"doc:Quarterly report", L"count:4"};
    for (int page = 1; page <= 4; ++page) {
        for (const wchar_t* step : {L"page", L"sleep:400", L"text", L"sleep:300", L"compress", L"sleep:300"})
            s.push_back(step);
        if (page == 2 && !shots.empty())
            s.push_back(L"shot:" + shots + L"\\demo-pipe-progress.bmp");
    }
    s.push_back(L"finalize");
    s.push_back(L"sleep:500");
    s.push_back(L"close");
    return s;
}

} // namespace

int commandPipe(const Args& args)
{
    std::wstring path = L"\\\\.\\pipe\\printvane-pipe-" + std::to_wstring(GetCurrentProcessId());
    std::wstring report, shots;
    DWORD limit = 30000;
    bool demo = false;
    Args steps;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        bool hasValue = i + 1 < args.size();
        if (a == L"--demo")
            demo = true;
        else if (a == L"--path" && hasValue)
            path = args[++i];
        else if (a == L"--report" && hasValue)
            report = args[++i];
        else if (a == L"--shots" && hasValue)
            shots = args[++i];
        else if (a == L"--limit" && hasValue)
            limit = DWORD(std::wcstoul(args[++i].c_str(), nullptr, 10));
        else
            steps.push_back(a);
    }
    if (demo)
        steps = demoScript(shots);
    if (steps.empty()) {
        std::printf("usage: converter pipe [--demo] [--path NAME] [--report FILE] [--shots DIR] [--limit MS] STEP...\n");
        return 2;
    }

    Log log;
    log.open(report);
    PipeSession session(log);
    if (!session.start(path))
        return 1;

    bool allGood = true;
    for (const std::wstring& step : steps) {
        size_t colon = step.find(L':');
        std::wstring verb = step.substr(0, colon);
        std::wstring value = colon == std::wstring::npos ? L"" : step.substr(colon + 1);
        std::string what = utf8(step);
        bool ok = true;
        if (verb == L"count") {
            ok = session.send(encodePageCount(uint32_t(std::wcstoul(value.c_str(), nullptr, 10))), what.c_str());
        } else if (verb == L"doc" || verb == L"status" || verb == L"log") {
            uint32_t kind = verb == L"doc" ? PM_DOC_NAME : verb == L"status" ? PM_STATUS_TEXT : PM_LOG_LINE;
            ok = session.send(encodePipeText(kind, u16(value)), what.c_str());
        } else if (verb == L"page" || verb == L"image" || verb == L"text" || verb == L"compress" ||
                   verb == L"finalize") {
            uint32_t kind = verb == L"page" ? PM_PAGE_BEGIN : verb == L"image" ? PM_IMAGE : verb == L"text" ? PM_TEXT
                            : verb == L"compress" ? PM_TEXT_COMPRESS : PM_FINALIZE;
            ok = session.send(encodePipeMessage(kind, nullptr, 0), what.c_str());
        } else if (verb == L"raw") {
            std::vector<uint8_t> bytes;
            if (!parseRaw(value, bytes)) {
                log.line("bad step %s", what.c_str());
                return 2;
            }
            ok = session.send(bytes, what.c_str());
        } else if (verb == L"query") {
            allGood = session.query() && allGood;
        } else if (verb == L"sleep") {
            Sleep(DWORD(std::wcstoul(value.c_str(), nullptr, 10)));
        } else if (verb == L"window") {
            HWND w = session.window(10000);
            log.line("progress window %s", w ? "shown" : "NOT shown");
            allGood = w && allGood;
        } else if (verb == L"shot") {
            HWND w = session.window(5000);
            bool saved = w && saveWindowPicture(w, value);
            log.line("picture %s: %s", utf8(value).c_str(), saved ? "saved" : "FAILED");
        } else if (verb == L"cancel") {
            HWND w = session.window(5000);
            log.line("pressed Cancel%s", w ? "" : ": NO WINDOW");
            if (w)
                PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            allGood = w && allGood;
        } else if (verb == L"wait-exit") {
            allGood = session.awaitEnd(limit) && allGood;
        } else if (verb == L"close") {
            session.closePipe();
        } else {
            log.line("bad step %s", what.c_str());
            return 2;
        }
        if (!ok)
            log.line("(the program is no longer reading)");
        if (session.ended()) {
            allGood = session.awaitEnd(limit) && allGood;
            break;
        }
    }
    session.closePipe();
    allGood = session.awaitEnd(limit) && allGood;
    log.line("result: %s", allGood ? "ok" : "FAILED");
    return allGood ? 0 : 1;
}
