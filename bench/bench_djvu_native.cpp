// Encoding one A4 page at 300 dpi (2480 x 3508, the demo's page 1) with the
// converter stand-in's encoder in each mode, against DjVuLibre's own
// command-line encoders on the same page in the same run: c44 for picture
// (IW44 of the full page, both with the same slice targets), cjb2 for bitonal (lossless
// JB2 of the same thresholded page). One run each; the ratio is ours over
// theirs. Also prints the page sizes. Native only (it runs Debian's tools).
#include "tools/converter/demo_page.h"
#include "tools/converter/djvu_encoder.h"

#include "bench_timing.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using Solvaris::DjVu::DjVuEncoder;

namespace {

double secondsOf(const std::string& command)
{
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0)
        std::printf("  (%s failed)\n", command.c_str());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

int main()
{
    const Page page = renderPage(2480, 3508, 1);
    pvdjvu::PageView v;
    v.width = page.width;
    v.height = page.height;
    v.dpi = 300;
    v.bgr = page.bgr.data();
    v.stride = size_t(page.width) * 3;

    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "pv-bench-djvu";
    fs::create_directories(dir);
    const std::string ppm = (dir / "page.ppm").string(), pbm = (dir / "page.pbm").string();
    {
        std::ofstream out(ppm, std::ios::binary);
        out << "P6\n" << page.width << " " << page.height << "\n255\n";
        for (size_t i = 0; i < page.bgr.size(); i += 3)
            out << char(page.bgr[i + 2]) << char(page.bgr[i + 1]) << char(page.bgr[i]);
    }
    const DjVuEncoder::Params defaults;
    {
        std::ofstream out(pbm, std::ios::binary);
        out << "P4\n" << page.width << " " << page.height << "\n";
        for (uint32_t y = 0; y < page.height; ++y) {
            for (uint32_t x = 0; x < page.width; x += 8) {
                unsigned char byte = 0;
                for (uint32_t b = 0; b < 8 && x + b < page.width; ++b)
                    if (pvdjvu::greyOf(&page.bgr[(size_t(y) * page.width + x + b) * 3]) < defaults.binThreshold)
                        byte |= 0x80 >> b;
                out << char(byte);
            }
        }
    }
    const std::vector<uint32_t> slices = pvdjvu::slicesForQuality(defaults.bgParams.quality);
    const std::string sliceList =
        std::to_string(slices[0]) + "," + std::to_string(slices[1]) + "," + std::to_string(slices[2]);
    const double c44 = secondsOf("c44 -dpi 300 -slice " + sliceList + " '" + ppm + "' '" + (dir / "c44.djvu").string() + "'");
    const double cjb2 = secondsOf("cjb2 -dpi 300 '" + pbm + "' '" + (dir / "cjb2.djvu").string() + "'");

    std::printf("A4 page at 300 dpi (%ux%u), one run each\n", page.width, page.height);
    struct Mode {
        const char* name;
        DjVuEncoder::EncodeMode mode;
        double theirs;
        const char* tool;
        fs::path file;
    } modes[] = {
        {"picture", DjVuEncoder::modePicture, c44, "c44", dir / "c44.djvu"},
        {"bitonal", DjVuEncoder::modeBitonal, cjb2, "cjb2", dir / "cjb2.djvu"},
        {"3-layer", DjVuEncoder::mode3Layer, 0, "", {}},
    };
    for (const Mode& m : modes) {
        DjVuEncoder::Params p;
        p.encodeMode = m.mode;
        if (m.mode == DjVuEncoder::modePicture)
            p.bgSubsample = 1;   // c44 encodes the page at full size
        size_t size = 0;
        const double ours = medianSeconds(1, [&] { size = pvdjvu::encodePage(v, p).size(); });
        if (m.theirs > 0)
            std::printf("  %-8s ours %.2f s, %zu bytes; %s %.2f s, %ju bytes; ratio %.2f\n", m.name, ours, size, m.tool,
                        m.theirs, std::uintmax_t(fs::file_size(m.file)), ours / m.theirs);
        else
            std::printf("  %-8s ours %.2f s, %zu bytes\n", m.name, ours, size);
    }
    fs::remove_all(dir);
    return 0;
}
