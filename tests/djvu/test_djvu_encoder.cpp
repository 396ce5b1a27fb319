// The converter stand-in's DjVu encoder, checked from outside with Debian's
// DjVuLibre tools: djvudump lists the document's pages and chunks, ddjvu
// decodes each page for comparison with the page that went in.
#include "tools/converter/demo_page.h"
#include "tools/converter/djvu_encoder.h"

#include "profile/djv_profiles.h"
#include "profile/djv_profilexml.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
using Solvaris::DjVu::DjVuEncoder;
using Solvaris::DjVu::Profile;

namespace {

DjVuEncoder::Params profileParams(const std::string& inside)
{
    const std::string xml = std::string("<profile xmlns=\"") + Solvaris::DjVu::PROFILE_NAMESPACE + "\" name=\"t\" " +
                            inside + "</profile>";
    return Profile::importFromXml(Solvaris::String(xml.c_str()))->getParams();
}

pvdjvu::PageView view(const Page& p, uint32_t dpi)
{
    pvdjvu::PageView v;
    v.width = p.width;
    v.height = p.height;
    v.dpi = dpi;
    v.bgr = p.bgr.data();
    v.stride = size_t(p.width) * 3;
    return v;
}

std::string run(const std::string& command)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    pclose(pipe);
    return out;
}

// Per page of djvudump's listing: the INFO text ("DjVu WxH, vNN, D dpi") and
// the chunk names after INFO.
struct DumpedPage {
    std::string info, chunks;
};

std::vector<DumpedPage> dump(const fs::path& file)
{
    std::vector<DumpedPage> pages;
    std::istringstream lines(run("djvudump '" + file.string() + "'"));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string id;
        words >> id;
        if (id == "FORM:DJVU") {
            pages.emplace_back();
        } else if (!pages.empty() && id == "INFO") {
            const size_t at = line.find("DjVu ");
            pages.back().info = line.substr(at, line.find(", gamma") - at);
        } else if (!pages.empty() && id.size() == 4) {
            pages.back().chunks += (pages.back().chunks.empty() ? "" : " ") + id;
        }
    }
    return pages;
}

// A page decoded by ddjvu at full size: one byte a sample (PBM: 1 = black).
struct Decoded {
    uint32_t width = 0, height = 0, channels = 0;
    std::vector<uint8_t> samples;
};

Decoded decode(const fs::path& file, int page, bool bitonal)
{
    const fs::path out = file.string() + (bitonal ? ".pbm" : ".ppm");
    run("ddjvu -format=" + std::string(bitonal ? "pbm" : "ppm") + " -subsample=1 -page=" + std::to_string(page) +
        " '" + file.string() + "' '" + out.string() + "'");
    std::ifstream in(out, std::ios::binary);
    std::string magic;
    Decoded d;
    uint32_t maxValue = 1;
    in >> magic >> d.width >> d.height;
    if (!bitonal)
        in >> maxValue;
    in.get();
    std::vector<uint8_t> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fs::remove(out);
    d.channels = bitonal ? 1 : 3;
    if (bitonal) {
        const size_t rowBytes = (d.width + 7) / 8;
        if (raw.size() < rowBytes * d.height)
            return Decoded();
        for (uint32_t y = 0; y < d.height; ++y)
            for (uint32_t x = 0; x < d.width; ++x)
                d.samples.push_back((raw[y * rowBytes + x / 8] >> (7 - x % 8)) & 1);
    } else {
        d.samples = raw;
    }
    return d;
}

double psnr(const Page& p, const Decoded& d)
{
    if (d.width != p.width || d.height != p.height || d.samples.size() != p.bgr.size())
        return 0;
    double sum = 0;
    for (size_t i = 0; i < p.bgr.size(); i += 3)
        for (int c = 0; c < 3; ++c) {   // PPM holds red, green, blue
            const double e = double(p.bgr[i + 2 - c]) - d.samples[i + c];
            sum += e * e;
        }
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / (sum / double(p.bgr.size())));
}

fs::path tempFile(const std::string& name)
{
    return fs::temp_directory_path() / ("pvdjvu-" + std::to_string(getpid()) + "-" + name);
}

const Page& testPage(int n)
{
    // A4 at 150 dpi, the second one landscape; the demo's own pages.
    static const Page pages[] = {renderPage(1240, 1754, 1), renderPage(1754, 1240, 2)};
    return pages[n - 1];
}

} // namespace

// Each mode makes a two-page document whose pages come in order with their
// size and resolution, hold the chunks the mode calls for, and decode to the
// input: bitonal exactly equal to the thresholded page, the others within a
// PSNR bound over the whole page, measured on these pages (portrait,
// landscape) and set about 1 dB below: picture quality 75 at subsample 2
// 20.1 and 25.5 dB; picture with the chunk list (70 slices, then the rest)
// at the default subsample 3 17.5 and 18.0 dB (the page's small text blurs
// most);
// 3-layer quality 75 29.6 and 29.2 dB.
TEST(DjvuEncoder, DocumentOfEachMode)
{
    struct Case {
        const char* name;
        std::string profile;   // attributes and children of <profile>
        const char* chunks;
        double minPsnr;        // 0: bitonal, exact
    } cases[] = {
        {"picture", "encode-mode=\"picture\"><iw44 id=\"background\" subsample=\"2\" quality=\"75\"/>",
         "BG44 BG44 BG44", 19},
        // 60 adds nothing after 70 and is left out; an empty entry takes the rest.
        {"picture, chunk list", "encode-mode=\"picture\"><iw44 id=\"background\"><chunk-config slices=\"70\"/>"
                                "<chunk-config slices=\"60\"/><chunk-config/></iw44>",
         "BG44 BG44", 16.5},
        {"bitonal", "encode-mode=\"bitonal\" bin-threshold=\"200\">", "Sjbz", 0},
        {"3-layer", "encode-mode=\"3-layer\"><iw44 id=\"foreground\" intent=\"FG44\" quality=\"75\"/>"
                    "<iw44 id=\"background\" quality=\"75\"/>",
         "Sjbz FG44 BG44 BG44 BG44", 28},
        {"auto (3-layer)", ">", "Sjbz FG44 BG44 BG44 BG44", 28},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DjVuEncoder::Params params = profileParams(c.profile);
        const fs::path file = tempFile("doc.djvu");
        {
            pvdjvu::DocumentWriter writer(file);
            for (int n : {1, 2})
                writer.addPage(pvdjvu::encodePage(view(testPage(n), 150), params));
            EXPECT_EQ(writer.finish(), fs::file_size(file));
        }
        const std::vector<DumpedPage> pages = dump(file);
        ASSERT_EQ(pages.size(), 2u);
        for (int n : {1, 2}) {
            const Page& in = testPage(n);
            const DumpedPage& out = pages[size_t(n - 1)];
            EXPECT_EQ(out.info, "DjVu " + std::to_string(in.width) + "x" + std::to_string(in.height) + ", v24, 150 dpi");
            EXPECT_EQ(out.chunks, c.chunks);
            const Decoded d = decode(file, n, c.minPsnr == 0);
            if (c.minPsnr == 0) {
                ASSERT_EQ(d.samples.size(), size_t(in.width) * in.height);
                size_t wrong = 0;
                for (size_t i = 0; i < d.samples.size(); ++i)
                    wrong += d.samples[i] != (pvdjvu::greyOf(&in.bgr[i * 3]) < params.binThreshold);
                EXPECT_EQ(wrong, 0u) << "page " << n;
            } else {
                EXPECT_GE(psnr(in, d), c.minPsnr) << "page " << n;
            }
        }
        fs::remove(file);
    }
}

// A page with no dark pixel: bitonal gives an empty JB2 layer, 3-layer has
// no mask and becomes picture.
TEST(DjvuEncoder, BlankPage)
{
    const Page white{300, 200, std::vector<uint8_t>(300 * 200 * 3, 0xFF)};
    const fs::path file = tempFile("blank.djvu");
    for (const char* mode : {"bitonal", "3-layer"}) {
        {
            pvdjvu::DocumentWriter writer(file);
            writer.addPage(pvdjvu::encodePage(view(white, 150), profileParams(std::string("encode-mode=\"") + mode + "\">")));
            writer.finish();
        }
        const std::vector<DumpedPage> pages = dump(file);
        ASSERT_EQ(pages.size(), 1u) << mode;
        EXPECT_EQ(pages[0].chunks, mode[0] == 'b' ? "Sjbz" : "BG44 BG44 BG44") << mode;
        const Decoded d = decode(file, 1, mode[0] == 'b');
        EXPECT_EQ(d.samples, std::vector<uint8_t>(mode[0] == 'b' ? 300 * 200 : 300 * 200 * 3, mode[0] == 'b' ? 0 : 255))
            << mode;
    }
    fs::remove(file);
}

// A lower background quality makes a smaller page, in both modes with a
// background layer.
TEST(DjvuEncoder, LowerQualityIsSmaller)
{
    for (const char* mode : {"picture", "3-layer"}) {
        size_t size[2];
        for (int i = 0; i < 2; ++i)
            size[i] = pvdjvu::encodePage(view(testPage(1), 150),
                                         profileParams(std::string("encode-mode=\"") + mode +
                                                       "\"><iw44 id=\"background\" quality=\"" +
                                                       (i ? "30" : "90") + "\"/>"))
                          .size();
        EXPECT_LT(size[1], size[0]) << mode;
    }
}

// The document appears at the output name only when finished: a job ended
// early (cancelled) leaves neither a document nor a working file, and an
// earlier document there is left as it was; a finished one replaces it.
TEST(DjvuEncoder, DocumentOnlyWhenFinished)
{
    const std::vector<uint8_t> page = pvdjvu::encodePage(view(testPage(2), 150), profileParams("encode-mode=\"bitonal\">"));
    const fs::path file = tempFile("cancel.djvu");
    for (bool earlier : {false, true}) {
        for (bool finish : {false, true}) {
            if (earlier)
                std::ofstream(file) << "earlier";
            fs::path working;
            {
                pvdjvu::DocumentWriter writer(file);
                working = writer.workingFile();
                writer.addPage(page);
                if (finish)
                    writer.finish();
            }
            EXPECT_FALSE(fs::exists(working));
            std::ifstream in(file, std::ios::binary);
            std::string head(16, '\0');
            in.read(&head[0], 16);
            const std::string expected = finish ? std::string("AT&TFORM") : earlier ? "earlier" : "";
            EXPECT_EQ(head.substr(0, expected.size()), expected) << earlier << finish;
            EXPECT_EQ(fs::exists(file), finish || earlier) << earlier << finish;
            fs::remove(file);
        }
    }
}
