// The converter stand-in's DjVu encoder: turns one page (BGR rows) into a
// single-page DjVu file with the parameters of an encoding profile, and
// bundles such pages into one multi-page document. Portable (no Windows
// headers); the codec is DjVuLibre's library, used through its IW44, JB2,
// IFF and bundled-document classes.
//
// What the profile decides (docs/CONVERTER.md, "What the profile decides",
// lists it too):
//  - picture: one BG44 layer of the whole page at the background subsample;
//  - bitonal: the page thresholded at binThreshold, one lossless JB2 layer;
//  - 3-layer (and auto, 2-layer, fg44colorjb2): pixels darker than
//    binThreshold form the JB2 mask, their colour the FG44 layer at the
//    foreground subsample, the rest the BG44 layer under the mask;
//  - unmapped choices fall back to the nearest mapped one (MMR and JBIG2 to
//    JB2, JPEG and JPEG 2000 to IW44, an empty mask to picture).
#pragma once

#include "profile/djv_params.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace pvdjvu {

// A page as the converter holds it: packed rows from the top, three bytes a
// pixel in the order blue, green, red.
struct PageView {
    uint32_t width = 0, height = 0, dpi = 300;
    const uint8_t* bgr = nullptr;
    size_t stride = 0;   // bytes from one row to the next
};

// The grey value the thresholds compare with (ITU-R BT.601 weights).
inline uint32_t greyOf(const uint8_t* bgr) { return (bgr[0] * 117u + bgr[1] * 601u + bgr[2] * 306u) >> 10; }

// The layout an encode mode leads to, after the fallbacks.
enum class Layout { Picture, Bitonal, ThreeLayer };
Layout layoutFor(const Solvaris::DjVu::DjVuEncoder::Params& params);

// Cumulative slice targets for an IW44 layer with a quality only (no chunk
// list): quality q in 0..100 gives a last target of 40 + 0.6 q slices, and
// the two earlier chunks end 25 and 10 slices before it (q 100: 75, 90, 100).
std::vector<uint32_t> slicesForQuality(uint32_t quality);

// One page as a single-page DjVu file ("AT&TFORM...DJVU"). Throws
// std::runtime_error when the codec fails.
std::vector<uint8_t> encodePage(const PageView& page, const Solvaris::DjVu::DjVuEncoder::Params& params);

// One multi-page (bundled) document. Pages are kept in memory as they come;
// finish() writes the document to a working file beside the output and then
// moves it to the output name, so that nothing is ever half-written there. A
// writer destroyed before finish() leaves no file behind.
class DocumentWriter {
public:
    explicit DocumentWriter(std::filesystem::path output);
    ~DocumentWriter();
    DocumentWriter(const DocumentWriter&) = delete;
    DocumentWriter& operator=(const DocumentWriter&) = delete;

    void addPage(const std::vector<uint8_t>& page);   // throws std::runtime_error
    size_t pageCount() const;
    // Returns the size of the written document; throws std::runtime_error.
    uint64_t finish();
    const std::filesystem::path& workingFile() const { return m_working; }

private:
    struct Pages;
    std::filesystem::path m_output, m_working;
    std::unique_ptr<Pages> m_pages;
};

} // namespace pvdjvu
