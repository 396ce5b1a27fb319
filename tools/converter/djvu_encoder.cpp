#include "tools/converter/djvu_encoder.h"

#include <DjVmDir.h>
#include <DjVmDoc.h>
#include <DjVuInfo.h>
#include <GBitmap.h>
#include <GException.h>
#include <GPixmap.h>
#include <IFFByteStream.h>
#include <IW44Image.h>
#include <JB2Image.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <stdexcept>
#include <system_error>
#include <unordered_map>

using namespace DJVU;
using Solvaris::DjVu::DjVuEncoder;
using Solvaris::DjVu::IW44Encoder;

namespace pvdjvu {
namespace {

uint32_t clampSubsample(uint32_t s) { return std::min<uint32_t>(std::max<uint32_t>(s, 1), 12); }

// The dark pixels of the page (grey below the threshold), rows from the top.
std::vector<uint8_t> darkPixels(const PageView& page, uint32_t threshold)
{
    std::vector<uint8_t> dark(size_t(page.width) * page.height);
    for (uint32_t y = 0; y < page.height; ++y) {
        const uint8_t* row = page.bgr + y * page.stride;
        uint8_t* out = &dark[size_t(y) * page.width];
        for (uint32_t x = 0; x < page.width; ++x)
            out[x] = greyOf(row + x * 3) < threshold;
    }
    return dark;
}

// ---- JB2: the mask as connected components ---------------------------------

struct Run {
    uint32_t y, x0, x1;   // pixels x0 .. x1-1 of row y
};

uint32_t findRoot(std::vector<uint32_t>& parent, uint32_t i)
{
    while (parent[i] != i)
        i = parent[i] = parent[parent[i]];
    return i;
}

// Splits the mask into 8-connected components (runs of a row joined with the
// touching runs of the row above) and gives each one a shape; components of
// identical form share one shape, so the JB2 image stays lossless.
GP<JB2Image> maskToJb2(const std::vector<uint8_t>& dark, uint32_t width, uint32_t height)
{
    std::vector<Run> runs;
    std::vector<size_t> rowStart(height + 1);
    for (uint32_t y = 0; y < height; ++y) {
        rowStart[y] = runs.size();
        const uint8_t* row = &dark[size_t(y) * width];
        for (uint32_t x = 0; x < width;) {
            if (!row[x]) {
                ++x;
                continue;
            }
            const uint32_t x0 = x;
            while (x < width && row[x])
                ++x;
            runs.push_back({y, x0, x});
        }
    }
    rowStart[height] = runs.size();

    std::vector<uint32_t> parent(runs.size());
    std::iota(parent.begin(), parent.end(), 0u);
    for (uint32_t y = 1; y < height; ++y) {
        size_t above = rowStart[y - 1];
        for (size_t i = rowStart[y]; i < rowStart[y + 1]; ++i) {
            const Run& r = runs[i];
            while (above < rowStart[y] && runs[above].x1 < r.x0)   // ends left of r's diagonal neighbour
                ++above;
            for (size_t k = above; k < rowStart[y] && runs[k].x0 <= r.x1; ++k) {
                const uint32_t a = findRoot(parent, uint32_t(i)), b = findRoot(parent, uint32_t(k));
                if (a != b)
                    parent[std::max(a, b)] = std::min(a, b);
            }
        }
    }

    // Components in the order of their first run (top to bottom, left to right).
    std::vector<std::vector<uint32_t>> members;
    std::unordered_map<uint32_t, uint32_t> index;
    for (uint32_t i = 0; i < runs.size(); ++i) {
        const uint32_t root = findRoot(parent, i);
        auto found = index.find(root);
        if (found == index.end()) {
            found = index.emplace(root, uint32_t(members.size())).first;
            members.emplace_back();
        }
        members[found->second].push_back(i);
    }

    GP<JB2Image> image = JB2Image::create();
    image->set_dimension(int(width), int(height));
    std::unordered_map<std::string, int> shapes;
    for (const std::vector<uint32_t>& list : members) {
        uint32_t left = width, right = 0, top = runs[list.front()].y, bottom = top;
        for (uint32_t i : list) {
            left = std::min(left, runs[i].x0);
            right = std::max(right, runs[i].x1);
            bottom = std::max(bottom, runs[i].y);
        }
        const uint32_t w = right - left, h = bottom - top + 1;
        // The component's own pixels only: another component may reach into
        // its bounding box.
        std::string key(size_t(w) * h + 8, '\0');
        for (int b = 0; b < 4; ++b) {
            key[b] = char(w >> (8 * b));
            key[4 + b] = char(h >> (8 * b));
        }
        for (uint32_t i : list)
            std::fill_n(&key[8 + size_t(runs[i].y - top) * w + (runs[i].x0 - left)], runs[i].x1 - runs[i].x0, '\1');
        auto known = shapes.find(key);
        int shapeNo;
        if (known != shapes.end()) {
            shapeNo = known->second;
        } else {
            GP<GBitmap> bits = GBitmap::create(int(h), int(w));
            for (uint32_t row = 0; row < h; ++row)   // GBitmap rows count from the bottom
                std::copy_n(reinterpret_cast<const unsigned char*>(&key[8 + size_t(row) * w]), w,
                            (*bits)[int(h - 1 - row)]);
            JB2Shape shape;
            shape.parent = -1;
            shape.bits = bits;
            shape.userdata = 0;
            shapeNo = image->add_shape(shape);
            shapes.emplace(std::move(key), shapeNo);
        }
        JB2Blit blit;
        blit.left = static_cast<unsigned short>(left);
        blit.bottom = static_cast<unsigned short>(height - 1 - bottom);
        blit.shapeno = unsigned(shapeNo);
        image->add_blit(blit);
    }
    return image;
}

// ---- IW44 layers ------------------------------------------------------------

// A layer of the page reduced by `sub`: each pixel the mean colour of the
// page pixels of its block that `use` selects (all when `use` is null). Blocks
// with none of them are marked in `empty` (the encoder's "don't care" mask).
GP<GPixmap> reducedLayer(const PageView& page, uint32_t sub, const std::vector<uint8_t>* use, bool wanted,
                         GP<GBitmap>& empty)
{
    const uint32_t w = (page.width + sub - 1) / sub, h = (page.height + sub - 1) / sub;
    GP<GPixmap> layer = GPixmap::create(int(h), int(w));
    empty = nullptr;
    if (use)
        empty = GBitmap::create(int(h), int(w));
    bool anyEmpty = false;
    std::vector<uint32_t> sum(size_t(w) * 4);
    for (uint32_t by = 0; by < h; ++by) {
        std::fill(sum.begin(), sum.end(), 0u);
        for (uint32_t y = by * sub; y < std::min(page.height, (by + 1) * sub); ++y) {
            const uint8_t* row = page.bgr + y * page.stride;
            const uint8_t* sel = use ? &(*use)[size_t(y) * page.width] : nullptr;
            for (uint32_t x = 0; x < page.width; ++x) {
                if (sel && bool(sel[x]) != wanted)
                    continue;
                uint32_t* s = &sum[size_t(x / sub) * 4];
                s[0] += row[x * 3];
                s[1] += row[x * 3 + 1];
                s[2] += row[x * 3 + 2];
                s[3] += 1;
            }
        }
        GPixel* out = (*layer)[int(h - 1 - by)];
        for (uint32_t bx = 0; bx < w; ++bx) {
            const uint32_t* s = &sum[size_t(bx) * 4];
            if (s[3] == 0) {
                out[bx].b = out[bx].g = out[bx].r = 255;
                (*empty)[int(h - 1 - by)][bx] = 1;
                anyEmpty = true;
                continue;
            }
            out[bx].b = static_cast<unsigned char>((s[0] + s[3] / 2) / s[3]);
            out[bx].g = static_cast<unsigned char>((s[1] + s[3] / 2) / s[3]);
            out[bx].r = static_cast<unsigned char>((s[2] + s[3] / 2) / s[3]);
        }
    }
    if (!anyEmpty)
        empty = nullptr;
    return layer;
}

// The chunk targets of a layer: the profile's chunk list, or the quality's
// slice targets. Targets are cumulative: an entry that does not go beyond
// the one before adds nothing and is left out; an entry with neither slices
// nor bytes takes the rest of the data and ends the list. `single` keeps only
// the last (the foreground is one chunk).
std::vector<IWEncoderParms> chunkTargets(const IW44Encoder::Params& p, bool single)
{
    std::vector<IWEncoderParms> out;
    if (p.chunks.count() > 0) {
        int slices = 0, bytes = 0;
        for (const IW44Encoder::ChunkConfig& c : p.chunks) {
            IWEncoderParms parms;
            parms.slices = int(std::min<uint32_t>(c.slices, 0x7FFFFFFF));
            parms.bytes = int(std::min<uint32_t>(c.bytes, 0x7FFFFFFF));
            const bool rest = parms.slices == 0 && parms.bytes == 0;
            if (rest)
                parms.slices = 0x7FFFFFFF;   // the encoder stops when the data ends
            else if (parms.slices <= slices && parms.bytes <= bytes)
                continue;
            slices = std::max(slices, parms.slices);
            bytes = std::max(bytes, parms.bytes);
            out.push_back(parms);
            if (rest)
                break;
        }
    } else {
        for (uint32_t slices : slicesForQuality(p.quality)) {
            IWEncoderParms parms;
            parms.slices = int(slices);
            out.push_back(parms);
        }
    }
    if (single)
        out.erase(out.begin(), out.end() - 1);
    return out;
}

void putIw44(IFFByteStream& iff, const char* chunk, const GPixmap& layer, const GP<GBitmap>& mask,
             const IW44Encoder::Params& p, bool single)
{
    const IW44Image::CRCBMode mode = p.cbcrMode == IW44Encoder::cbcrNone   ? IW44Image::CRCBnone
                                     : p.cbcrMode == IW44Encoder::cbcrHalf ? IW44Image::CRCBhalf
                                                                           : IW44Image::CRCBnormal;
    GP<IW44Image> iw = IW44Image::create_encode(layer, mask, mode);
    if (p.cbcrDelay != IW44Encoder::kCbCrDelayAuto)
        iw->parm_crcbdelay(int(std::min<uint32_t>(p.cbcrDelay, 255)));
    for (const IWEncoderParms& parms : chunkTargets(p, single)) {
        iff.put_chunk(chunk);
        const int more = iw->encode_chunk(iff.get_bytestream(), parms);
        iff.close_chunk();
        if (!more)
            break;
    }
    iw->close_codec();
}

std::vector<uint8_t> bytesOf(ByteStream& bs)
{
    std::vector<uint8_t> out(size_t(bs.size()));
    bs.seek(0);
    if (!out.empty() && bs.readall(out.data(), out.size()) != out.size())
        throw std::runtime_error("DjVu encoder: short read from memory");
    return out;
}

} // namespace

Layout layoutFor(const DjVuEncoder::Params& params)
{
    switch (params.encodeMode) {
    case DjVuEncoder::modePicture:
        return Layout::Picture;
    case DjVuEncoder::modeBitonal:
        return Layout::Bitonal;
    default:   // 3-layer, auto, and 2-layer / fg44colorjb2 as their nearest
        return Layout::ThreeLayer;
    }
}

std::vector<uint32_t> slicesForQuality(uint32_t quality)
{
    const uint32_t last = 40 + std::min<uint32_t>(quality, 100) * 60 / 100;
    return {last - 25, last - 10, last};
}

std::vector<uint8_t> encodePage(const PageView& page, const DjVuEncoder::Params& params)
{
    if (page.width == 0 || page.height == 0 || page.width > 65535 || page.height > 65535 || !page.bgr)
        throw std::runtime_error("DjVu encoder: no page or a page too large");
    try {
        GP<ByteStream> bs = ByteStream::create();
        {   // the IFF writer completes the chunk sizes when it goes
            GP<IFFByteStream> giff = IFFByteStream::create(bs);
            IFFByteStream& iff = *giff;
            iff.put_chunk("FORM:DJVU", 1);
            GP<DjVuInfo> info = DjVuInfo::create();
            info->width = int(page.width);
            info->height = int(page.height);
            info->dpi = int(std::min<uint32_t>(std::max<uint32_t>(page.dpi, 25), 6000));
            info->gamma = std::min(std::max(params.gamma, 3u), 49u) / 10.0;   // INFO holds 0.3 to 4.9
            iff.put_chunk("INFO");
            info->encode(*iff.get_bytestream());
            iff.close_chunk();

            Layout layout = layoutFor(params);
            std::vector<uint8_t> dark;
            if (layout != Layout::Picture) {
                dark = darkPixels(page, params.binThreshold);
                // A page without dark pixels has no mask: 3-layer becomes picture.
                if (layout == Layout::ThreeLayer && std::find(dark.begin(), dark.end(), 1) == dark.end())
                    layout = Layout::Picture;
            }
            if (layout != Layout::Picture) {
                iff.put_chunk("Sjbz");
                maskToJb2(dark, page.width, page.height)->encode(iff.get_bytestream());
                iff.close_chunk();
            }
            if (layout == Layout::ThreeLayer) {
                GP<GBitmap> noColour;
                GP<GPixmap> fg = reducedLayer(page, clampSubsample(params.fgSubsample), &dark, true, noColour);
                putIw44(iff, "FG44", *fg, noColour, params.fgParams, true);
                GP<GBitmap> covered;
                GP<GPixmap> bg = reducedLayer(page, clampSubsample(params.bgSubsample), &dark, false, covered);
                putIw44(iff, "BG44", *bg, covered, params.bgParams, false);
            } else if (layout == Layout::Picture) {
                GP<GBitmap> none;
                GP<GPixmap> bg = reducedLayer(page, clampSubsample(params.bgSubsample), nullptr, false, none);
                putIw44(iff, "BG44", *bg, nullptr, params.bgParams, false);
            }
            iff.close_chunk();
        }
        return bytesOf(*bs);
    } catch (const GException& e) {
        throw std::runtime_error(std::string("DjVu encoder: ") + e.get_cause());
    }
}

// ---- the bundled document ---------------------------------------------------

struct DocumentWriter::Pages {
    GP<DjVmDoc> doc = DjVmDoc::create();
    size_t count = 0;
};

DocumentWriter::DocumentWriter(std::filesystem::path output)
    : m_output(std::move(output)), m_pages(new Pages)
{
    m_working = m_output;
    m_working += ".part";
}

DocumentWriter::~DocumentWriter()
{
    std::error_code ignored;
    std::filesystem::remove(m_working, ignored);
}

void DocumentWriter::addPage(const std::vector<uint8_t>& page)
{
    try {
        char name[32];
        std::snprintf(name, sizeof name, "p%04zu.djvu", m_pages->count + 1);
        GP<ByteStream> data = ByteStream::create(page.data(), page.size());
        m_pages->doc->insert_file(*data, DjVmDir::File::PAGE, name, name);
        ++m_pages->count;
    } catch (const GException& e) {
        throw std::runtime_error(std::string("DjVu document: ") + e.get_cause());
    }
}

size_t DocumentWriter::pageCount() const { return m_pages->count; }

uint64_t DocumentWriter::finish()
{
    if (m_pages->count == 0)
        throw std::runtime_error("DjVu document: no pages");
    std::vector<uint8_t> bytes;
    try {
        GP<ByteStream> bs = ByteStream::create();
        m_pages->doc->write(bs);
        bytes = bytesOf(*bs);
    } catch (const GException& e) {
        throw std::runtime_error(std::string("DjVu document: ") + e.get_cause());
    }
    {
        std::ofstream file(m_working, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        file.close();
        if (!file)
            throw std::runtime_error("DjVu document: the working file could not be written: " + m_working.u8string());
    }
    std::error_code error;
    std::filesystem::rename(m_working, m_output, error);
    if (error) {
        // Where a rename does not replace an existing file, the old one goes first.
        std::filesystem::remove(m_output, error);
        std::filesystem::rename(m_working, m_output, error);
    }
    if (error)
        throw std::runtime_error("DjVu document: " + m_output.u8string() + " could not be written: " + error.message());
    return bytes.size();
}

} // namespace pvdjvu
