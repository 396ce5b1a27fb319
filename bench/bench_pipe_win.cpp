// Records per second through the progress pipe, against a raw read loop on
// the same pipe in the same run:
//   raw loop      ReadFile into a 4 KiB buffer until every byte arrived
//   reader        readPipeMessage over the buffered pipe source
//   reader/plain  readPipeMessage over a source that reads exactly what is
//                 asked (two ReadFile calls per record)
//   window        the whole path: reader thread, posted records, the
//                 progress window updating its line, bar and title
// The writer sends the same pre-built stream each time, in 64 KiB writes.
#include "app/pipe_reader.h"
#include "app/progress_dialog.h"
#include "baselib/svr_handle_win.h"

#include <cstdio>
#include <thread>
#include <utility>

namespace {

using Bytes = std::vector<uint8_t>;

// One job's worth of records: a name and a count, then per page the status
// steps and a status text, the way a converter reports.
Bytes buildStream(uint32_t records, uint32_t& built)
{
    Bytes all;
    auto add = [&](const Bytes& r) {
        all.insert(all.end(), r.begin(), r.end());
        ++built;
    };
    built = 0;
    add(encodePipeText(PM_DOC_NAME, u"Benchmark document"));
    add(encodePageCount(records / 6 + 1));
    while (built < records) {
        add(encodePipeMessage(PM_PAGE_BEGIN, nullptr, 0));
        add(encodePipeMessage(PM_TEXT, nullptr, 0));
        add(encodePipeText(PM_STATUS_TEXT, u"Compressing background layer"));
        add(encodePipeMessage(PM_TEXT_COMPRESS, nullptr, 0));
        add(encodePipeMessage(PM_IMAGE, nullptr, 0));
        add(encodePipeMessage(PM_FINALIZE, nullptr, 0));
    }
    return all;
}

struct Pipe {
    Solvaris_Win32::UniqueHandle server, client;
    Pipe()
    {
        static int serial = 0;
        std::wstring name = L"\\\\.\\pipe\\pv-bench-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(++serial);
        server.reset(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 65536, 65536, 0, nullptr));
        client.reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    // Writes the stream from a thread, then closes the server end.
    std::thread feed(const Bytes& stream)
    {
        return std::thread([this, &stream] {
            size_t at = 0;
            while (at < stream.size()) {
                DWORD n = DWORD(std::min<size_t>(65536, stream.size() - at)), written = 0;
                if (!WriteFile(server.get(), &stream[at], n, &written, nullptr))
                    break;
                at += written;
            }
            FlushFileBuffers(server.get());
            server.reset();
        });
    }
};

double seconds(LARGE_INTEGER a, LARGE_INTEGER b)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

double rawLoop(const Bytes& stream)
{
    Pipe p;
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    std::thread w = p.feed(stream);
    uint8_t buffer[4096];
    size_t total = 0;
    DWORD got = 0;
    while (ReadFile(p.client.get(), buffer, sizeof buffer, &got, nullptr) && got)
        total += got;
    QueryPerformanceCounter(&t1);
    w.join();
    if (total != stream.size())
        std::fprintf(stderr, "raw loop: %zu of %zu bytes\n", total, stream.size());
    return seconds(t0, t1);
}

// Reads exactly what readPipeMessage asks for, one ReadFile per request.
class PlainSource : public PipeByteSource {
public:
    explicit PlainSource(HANDLE h) : m_h(h) {}
    bool read(void* buffer, uint32_t size, uint32_t& got) override
    {
        DWORD n = 0;
        bool ok = ReadFile(m_h, buffer, size, &n, nullptr) != 0;
        got = n;
        return ok;
    }
    bool write(const void* data, uint32_t size) override
    {
        DWORD n = 0;
        return WriteFile(m_h, data, size, &n, nullptr) != 0;
    }

private:
    HANDLE m_h;
};

template <class Source>
double readerLoop(const Bytes& stream, uint32_t expected)
{
    Pipe p;
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    std::thread w = p.feed(stream);
    Source source(p.client.get());
    uint32_t records = 0;
    while (readPipeMessage(static_cast<PipeByteSource&>(source), 0x1234))
        ++records;
    QueryPerformanceCounter(&t1);
    w.join();
    if (records != expected)
        std::fprintf(stderr, "reader: %u of %u records\n", records, expected);
    return seconds(t0, t1);
}

BOOL CALLBACK anyDialog(HWND hWnd, LPARAM lParam)
{
    if (IsWindowVisible(hWnd)) {
        *reinterpret_cast<HWND*>(lParam) = hWnd;
        return FALSE;
    }
    return TRUE;
}

double windowPath(const Bytes& stream, uint32_t expected, int& pageShown)
{
    Pipe p;
    CProgressDialog dlg(std::move(p.client));
    LARGE_INTEGER t0 = {}, t1;
    DWORD uiThread = GetCurrentThreadId();
    std::thread starter([&] {
        HWND w = nullptr;
        for (int i = 0; i < 2000 && !w; ++i) {
            EnumThreadWindows(uiThread, anyDialog, reinterpret_cast<LPARAM>(&w));
            Sleep(5);
        }
        QueryPerformanceCounter(&t0);
        p.feed(stream).join();
    });
    dlg.DoModal(nullptr);
    QueryPerformanceCounter(&t1);
    starter.join();
    pageShown = dlg.GetState().page();
    (void)expected;
    return seconds(t0, t1);
}

} // namespace

int main()
{
    // The reader writes two trace lines per record to the standard output;
    // they go to a scratch file here (part of the measured window path all
    // the same), the results to the standard error.
    std::FILE* results = stderr;
    wchar_t scratch[MAX_PATH] = {}, folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"pvb", 0, scratch);
    _wfreopen(scratch, L"w", stdout);

    uint32_t records = 0;
    const Bytes stream = buildStream(120000, records);
    uint32_t windowRecords = 0;
    const Bytes windowStream = buildStream(30000, windowRecords);

    double raw = 1e9, reader = 1e9, plain = 1e9, rawSmall = 1e9, window = 1e9;
    int pages = 0;
    for (int round = 0; round < 3; ++round) {
        raw = std::min(raw, rawLoop(stream));
        reader = std::min(reader, readerLoop<PipeHandleSource>(stream, records));
        plain = std::min(plain, readerLoop<PlainSource>(stream, records));
        rawSmall = std::min(rawSmall, rawLoop(windowStream));
        window = std::min(window, windowPath(windowStream, windowRecords, pages));
    }
    auto rate = [](uint32_t n, double s) { return double(n) / s; };
    std::fprintf(results, "stream: %u records, %zu bytes (window path: %u records)\n", records, stream.size(),
                 windowRecords);
    std::fprintf(results, "raw read loop          %12.0f records/s  (1.00)\n", rate(records, raw));
    std::fprintf(results, "readPipeMessage        %12.0f records/s  (%.2f of raw)\n", rate(records, reader),
                 raw / reader);
    std::fprintf(results, "readPipeMessage plain  %12.0f records/s  (%.4f of raw)\n", rate(records, plain),
                 raw / plain);
    std::fprintf(results, "whole window path      %12.0f records/s  (%.4f of raw on the same stream; %d pages shown)\n",
                 rate(windowRecords, window), rawSmall / window, pages);
    std::fclose(stdout);
    DeleteFileW(scratch);
    return 0;
}
