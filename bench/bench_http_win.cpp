// The cached HTTP storage against plain WinHTTP and memcpy, in one run:
//   cold: reading a 16 MiB file from nginx through a fresh cached storage
//         (one HEAD and 512 range requests of 32 KiB) against one plain
//         WinHTTP GET of the whole file;
//   warm: reading it again from the storage's scratch file against memcpy.
// Needs the test servers (scripts/bench.sh starts them; PV_HTTP_INFO names
// their info file).
#include <windows.h>
#include <winhttp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "baselib/svr_error.h"
#include "baselib/svr_handle_win.h"
#include "baselib/svr_http.h"
#include "bench/bench_timing.h"

using namespace Solvaris;

namespace {

const uint32_t kFileSize = 16u << 20;
const uint32_t kChunk = 64u << 10;

std::string webPort() {
    const char* path = std::getenv("PV_HTTP_INFO");
    std::ifstream in(path ? path : "");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("web=", 0) == 0)
            return line.substr(4);
    return std::string();
}

uint64_t plainGet(const std::wstring& host, INTERNET_PORT port, std::vector<uint8_t>& into) {
    using Internet =
        Solvaris_Win32::Owned<HINTERNET, Solvaris_Win32::NullOrReleased<HINTERNET, WinHttpCloseHandle>>;
    const Internet session(WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0));
    const Internet connection(WinHttpConnect(session.get(), host.c_str(), port, 0));
    const Internet request(WinHttpOpenRequest(connection.get(), L"GET", L"/big.bin", nullptr, nullptr, nullptr, 0));
    const HINTERNET r = request.get();
    uint64_t done = 0;
    if (r && WinHttpSendRequest(r, nullptr, 0, nullptr, 0, 0, 0) && WinHttpReceiveResponse(r, nullptr)) {
        DWORD got = 0;
        while (done < into.size() && WinHttpReadData(r, into.data() + done, DWORD(into.size() - done), &got) && got)
            done += got;
    }
    return done;
}

uint64_t readAll(Storage* s, std::vector<uint8_t>& into) {
    s->setPos(0);
    uint64_t done = 0;
    while (done < kFileSize)
        done += s->readBytes(into.data() + done, kChunk, true);
    return done;
}

} // namespace

int main() {
    std::string port = webPort();
    if (port.empty()) {
        std::printf("bench_http: no test servers (start scripts/http-servers.sh and set PV_HTTP_INFO)\n");
        return 1;
    }
    std::string url = "http://127.0.0.1:" + port + "/big.bin";
    std::vector<uint8_t> buffer(kFileSize), copy(kFileSize);
    try {
        AutoPtr<HttpManager> manager = HttpManager::create("", AutoPtr<CredentialProvider>());
        double plain = bestMs(3, [&] { g_sink += plainGet(L"127.0.0.1", INTERNET_PORT(std::stoi(port)), buffer); });
        AutoPtr<Storage> warm;
        double cold = bestMs(3, [&] {
            warm = manager->createStorage(url.c_str());
            g_sink += readAll(warm.get(), buffer);
        });
        double cached = bestMs(5, [&] { g_sink += readAll(warm.get(), copy); });
        double mem = bestMs(5, [&] {
            for (uint32_t at = 0; at < kFileSize; at += kChunk)
                std::memcpy(copy.data() + at, buffer.data() + at, kChunk);
            g_sink += copy[kFileSize - 1];
        });
        std::printf("16 MiB over HTTP, reads of 64 KiB (best of runs)\n");
        std::printf("  plain WinHTTP GET         %8.1f ms  (baseline)\n", plain);
        std::printf("  cached storage, cold      %8.1f ms  %6.2fx plain GET\n", cold, cold / plain);
        std::printf("  memcpy                    %8.1f ms  (baseline)\n", mem);
        std::printf("  cached storage, warm      %8.1f ms  %6.2fx memcpy\n", cached, cached / mem);
    } catch (const Exception& e) {
        std::printf("bench_http: %s", e.message().c_str());
        return 1;
    }
    return 0;
}
