// The configuration dialog's page preview, each against a baseline measured
// in the same run:
//   - loading a 2480 x 3508 page image file (24-bit, padded rows) into the
//     preview bitmap, against a plain sequential read of the same bytes;
//   - into a 120 x 120 frame, the page scaled by GDI+ (the tests' reference
//     paint) and the dialog's own paint, which draws from the copy it keeps,
//     against a blit of an already scaled copy.
#include "app/preview.h"
#include "baselib/svr_handle_win.h"
#include "tests/support/preview_reference.h"
#include "bench_timing.h"

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Reads the whole file in 1 MB pieces, into one reused buffer or, with
// `into`, into fresh memory of the file's size (what the bitmap costs).
size_t plainRead(const std::wstring& path, std::vector<uint8_t>* into = nullptr)
{
    const Solvaris_Win32::UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return 0;
    const HANDLE f = file.get();
    static std::vector<uint8_t> buffer(1 << 20);
    size_t total = 0;
    DWORD got = 0;
    if (into)
        into->resize(GetFileSize(f, nullptr));
    for (;;) {
        uint8_t* dest = into ? into->data() + total : buffer.data();
        DWORD want = into ? DWORD(std::min<size_t>(buffer.size(), into->size() - total)) : DWORD(buffer.size());
        if (!want || !ReadFile(f, dest, want, &got, nullptr) || !got)
            break;
        total += got;
    }
    return total;
}
} // namespace

int main()
{
    CoInitialize(nullptr);
    ULONG_PTR token = 0;
    GpStartupInput input = {1, nullptr, FALSE, FALSE};
    GdiplusStartup(&token, &input, nullptr);

    const uint32_t w = 2480, h = 3508, stride = ((w * 3 + 3) & ~3u) + 4;
    std::vector<uint8_t> px(size_t(w) * h * 3);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = uint8_t((i * 2654435761u) >> 24);
    std::vector<uint8_t> file = encodePageImage(w, h, stride, px.data());
    wchar_t tmp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tmp);
    const std::wstring path = std::wstring(tmp) + L"bench-preview-page.img";
    {
        const Solvaris_Win32::UniqueHandle out(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        WriteFile(out.get(), file.data(), DWORD(file.size()), &written, nullptr);
    }

    // Warm the file cache, then measure.
    plainRead(path);
    const int runs = 9;
    const double read = medianSeconds(runs, [&] { plainRead(path); });
    const double readFresh = medianSeconds(runs, [&] {
        std::vector<uint8_t> fresh;
        plainRead(path, &fresh);
    });
    const double load = medianSeconds(runs, [&] { PreviewBitmap::load(path); });
    std::printf("page file %u x %u (%.1f MB)\n", w, h, file.size() / 1048576.0);
    std::printf("  plain sequential read : %8.2f ms\n", read * 1e3);
    std::printf("  read into new memory  : %8.2f ms   ratio %.2f\n", readFresh * 1e3, readFresh / read);
    std::printf("  load into the preview : %8.2f ms   ratio %.2f\n", load * 1e3, load / read);

    auto bmp = PreviewBitmap::load(path);
    if (!bmp) {
        std::printf("could not load the page\n");
        return 1;
    }
    using namespace Solvaris_Win32;
    const WindowDc screen(nullptr);
    const MemoryDc memory(CreateCompatibleDC(screen.get()));
    const HDC dc = memory.get();
    const GdiObject<HBITMAP> target(CreateCompatibleBitmap(screen.get(), 200, 200));
    const SelectScope targetIn(dc, target.get());
    HBRUSH background = GetSysColorBrush(COLOR_3DFACE);
    const RECT frame = {20, 20, 140, 140};
    PreviewFit fit = fitPreview(frame.left, frame.top, frame.right, frame.bottom, w, h);

    // Baseline: a blit of a scaled copy made beforehand.
    const MemoryDc scaledDc(CreateCompatibleDC(screen.get()));
    const GdiObject<HBITMAP> scaled(CreateCompatibleBitmap(screen.get(), fit.picture.width, fit.picture.height));
    const SelectScope scaledIn(scaledDc.get(), scaled.get());
    const double blit = medianSeconds(101, [&] {
        BitBlt(dc, fit.picture.x, fit.picture.y, fit.picture.width, fit.picture.height, scaledDc.get(), 0, 0,
               SRCCOPY);
        GdiFlush();
    });
    const double direct = medianSeconds(runs, [&] {
        uitest::paintScaledByGdiplus(dc, fit.picture, *bmp);
        GdiFlush();
    });
    paintPreview(dc, frame, bmp.get(), background);   // makes the copy
    const double cached = medianSeconds(101, [&] {
        paintPreview(dc, frame, bmp.get(), background);
        GdiFlush();
    });
    std::printf("preview paint into %ld x %ld (picture %d x %d)\n", frame.right - frame.left,
                frame.bottom - frame.top, fit.picture.width, fit.picture.height);
    std::printf("  blit of a scaled copy : %8.3f ms\n", blit * 1e3);
    std::printf("  GDI+ scaling the page : %8.3f ms   ratio %.1f\n", direct * 1e3, direct / blit);
    std::printf("  paint, the dialog's   : %8.3f ms   ratio %.1f (scaled once, kept)\n", cached * 1e3, cached / blit);

    bmp.reset();
    DeleteFileW(path.c_str());
    GdiplusShutdown(token);
    return 0;
}
