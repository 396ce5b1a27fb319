// The converter stand-in's DjVu encoder, checked from outside with Debian's
// DjVuLibre tools: djvudump lists the document's pages and chunks, ddjvu
// decodes each page for comparison with the page that went in.
#include "tools/converter/demo_page.h"
#include "tools/converter/djvu_encoder.h"

#include "profile/djv_profiles.h"
#include "profile/djv_profilexml.h"

#include "support/test_kit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

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

// Every page goes in at 150 dpi.
pvdjvu::PageView view(const Page& p) { return {p.width, p.height, 150, p.bgr.data(), size_t(p.width) * 3}; }

// The standard output of a command.
std::string run(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        for (int c; (c = std::fgetc(pipe)) != EOF;)
            out += char(c);
        pclose(pipe);
    }
    return out;
}

// Per page of djvudump's listing: the INFO text ("DjVu WxH, vNN, D dpi") and
// the chunk names after INFO.
struct DumpedPage { std::string info, chunks; };

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

// A page decoded by ddjvu at full size: red, green, blue a pixel.
struct Decoded { uint32_t width = 0, height = 0; std::string rgb; };

Decoded decode(const fs::path& file, int page)
{
    std::istringstream in(run("ddjvu -format=ppm -subsample=1 -page=" + std::to_string(page) + " '" + file.string() + "'"));
    std::string magic;
    uint32_t maxValue = 0;
    Decoded d;
    in >> magic >> d.width >> d.height >> maxValue;
    in.get();
    d.rgb = in.str().substr(size_t(in.tellg()));
    return d;
}

// The decoded page against the one that went in: the PSNR over the whole
// page (99 when equal), and how many pixels are not the input thresholded at
// `threshold` (black or white); {0, all} when the sizes differ.
struct Match { double psnr; size_t notThresholded; };
Match compare(const Page& p, const Decoded& d, uint32_t threshold)
{
    if (d.width != p.width || d.height != p.height || d.rgb.size() != p.bgr.size())
        return {0, p.bgr.size()};
    double sum = 0;
    size_t wrong = 0;
    for (size_t i = 0; i < p.bgr.size(); ++i) {
        const double e = double(p.bgr[i - i % 3 + 2 - i % 3]) - uint8_t(d.rgb[i]);
        sum += e * e;
        if (i % 3 == 0)
            wrong += d.rgb.compare(i, 3, std::string(3, pvdjvu::greyOf(&p.bgr[i]) < threshold ? '\0' : '\xFF')) != 0;
    }
    return {sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / (sum / double(p.bgr.size()))), wrong};
}

const Page& testPage(int n)
{
    // A4 at 150 dpi, the second one landscape; the demo's own pages; and a
    // page with no dark pixel.
    static const Page pages[] = {renderPage(1240, 1754, 1), renderPage(1754, 1240, 2),
                                 Page{300, 200, std::vector<uint8_t>(300 * 200 * 3, 0xFF)}};
    return pages[n - 1];
}

} // namespace

// Each mode makes a document whose pages come in order with their size and
// resolution, hold the chunks the mode calls for, and decode to the input:
// bitonal exactly equal to the thresholded page, the others within a PSNR
// bound over the whole page, measured on these pages (portrait, landscape)
// and set about 1 dB below: picture quality 75 at subsample 2 20.1 and
// 25.5 dB; picture with the chunk list (70 slices, then the rest) at the
// default subsample 3 17.5 and 18.0 dB (the page's small text blurs most);
// 3-layer quality 75 29.6 and 29.2 dB. A page with no dark pixel gives an
// empty JB2 layer (bitonal), or no mask and a picture (3-layer).
TEST(DjvuEncoder, DocumentOfEachMode)
{
    // profile: the attributes and children of <profile>; minPsnr 0: bitonal, exact.
    struct Case { const char* name; std::string profile; std::vector<int> pages; const char* chunks; double minPsnr; } cases[] = {
        {"picture", "encode-mode=\"picture\"><iw44 id=\"background\" subsample=\"2\" quality=\"75\"/>", {1, 2},
         "BG44 BG44 BG44", 19},
        // 60 adds nothing after 70 and is left out; an empty entry takes the rest.
        {"picture, chunk list", "encode-mode=\"picture\"><iw44 id=\"background\"><chunk-config slices=\"70\"/>"
                                "<chunk-config slices=\"60\"/><chunk-config/></iw44>",
         {1, 2}, "BG44 BG44", 16.5},
        {"bitonal", "encode-mode=\"bitonal\" bin-threshold=\"200\">", {1, 2}, "Sjbz", 0},
        {"3-layer", "encode-mode=\"3-layer\"><iw44 id=\"foreground\" intent=\"FG44\" quality=\"75\"/>"
                    "<iw44 id=\"background\" quality=\"75\"/>",
         {1, 2}, "Sjbz FG44 BG44 BG44 BG44", 28},
        {"auto (3-layer)", ">", {1, 2}, "Sjbz FG44 BG44 BG44 BG44", 28},
        {"blank, bitonal", "encode-mode=\"bitonal\">", {3}, "Sjbz", 0},
        {"blank, 3-layer", "encode-mode=\"3-layer\">", {3}, "BG44 BG44 BG44", 99},
    };
    testkit::ScratchFolder folder("djvu-modes");
    const fs::path file = folder / "doc.djvu";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DjVuEncoder::Params params = profileParams(c.profile);
        {
            pvdjvu::DocumentWriter writer(file);
            for (int n : c.pages)
                writer.addPage(pvdjvu::encodePage(view(testPage(n)), params));
            EXPECT_EQ(writer.finish(), fs::file_size(file));
        }
        const std::vector<DumpedPage> pages = dump(file);
        ASSERT_EQ(pages.size(), c.pages.size());
        for (size_t i = 0; i < pages.size(); ++i) {
            const Page& in = testPage(c.pages[i]);
            EXPECT_EQ(pages[i].info, "DjVu " + std::to_string(in.width) + "x" + std::to_string(in.height) + ", v24, 150 dpi");
            EXPECT_EQ(pages[i].chunks, c.chunks);
            const Match m = compare(in, decode(file, int(i + 1)), params.binThreshold);
            if (c.minPsnr == 0)
                EXPECT_EQ(m.notThresholded, 0u) << "page " << i + 1;
            else
                EXPECT_GE(m.psnr, c.minPsnr) << "page " << i + 1;
        }
    }
}

// A lower background quality makes a smaller page, in both modes with a
// background layer.
TEST(DjvuEncoder, LowerQualityIsSmaller)
{
    auto size = [](const char* mode, const char* quality) {
        return pvdjvu::encodePage(view(testPage(1)),
                                  profileParams(std::string("encode-mode=\"") + mode +
                                                "\"><iw44 id=\"background\" quality=\"" + quality + "\"/>"))
            .size();
    };
    for (const char* mode : {"picture", "3-layer"})
        EXPECT_LT(size(mode, "30"), size(mode, "90")) << mode;
}

// The document appears at the output name only when finished: a job ended
// early (cancelled) leaves an earlier document there as it was, a finished
// one replaces it, and neither leaves its working file. (Without an earlier
// document: ParamMode.DemoJobFollowsEachAnswer.)
TEST(DjvuEncoder, DocumentOnlyWhenFinished)
{
    const std::vector<uint8_t> page = pvdjvu::encodePage(view(testPage(2)), profileParams("encode-mode=\"bitonal\">"));
    testkit::ScratchFolder folder("djvu-cancel");
    const fs::path file = folder / "cancel.djvu";
    for (bool finish : {false, true}) {
        testkit::writeFile(file, "earlier");
        fs::path working;
        {
            pvdjvu::DocumentWriter writer(file);
            working = writer.workingFile();
            writer.addPage(page);
            if (finish)
                writer.finish();
        }
        EXPECT_FALSE(fs::exists(working));
        EXPECT_EQ(testkit::readFile(file).substr(0, 8), finish ? "AT&TFORM" : "earlier") << finish;
    }
}
