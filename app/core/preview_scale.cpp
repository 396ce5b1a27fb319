#include "app/core/preview_scale.h"

namespace {

// Single-precision steps, each rounded to float as stored (no wider
// intermediate precision on any target).
float rounded(float v)
{
    volatile float r = v;
    return r;
}

// The mapping from a destination pixel to its source point along one axis:
// the inverse of "source 0..size onto destination start..start+extent".
struct Axis {
    float origin = 0;   // the source point of destination coordinate 0
    float step = 0;     // the source distance of one destination pixel
};

Axis inverseAxis(int start, int extent, uint32_t size)
{
    const float scale = rounded(float(extent) / float(size));
    const float inverse = rounded(1.0f / scale);
    const float origin = rounded(-float(start) / scale);
    Axis a;
    a.origin = origin;
    a.step = rounded(rounded(inverse + origin) - origin);
    return a;
}

struct Argb {
    uint32_t a, r, g, b;
};

// Pixel x of a source row; beyond the page (no row, or x outside it):
// transparent.
Argb pixelAt(const uint8_t* row, uint32_t w, int x)
{
    if (!row || x < 0 || uint32_t(x) >= w)
        return {0, 0, 0, 0};
    const uint8_t* p = row + ptrdiff_t(x) * 3;
    return {255, p[2], p[1], p[0]};
}

// Mixes two colours by `weight` (0..255 towards `to`), alpha-weighted.
Argb mix(const Argb& from, const Argb& to, int weight)
{
    const uint32_t fromA = from.a * uint32_t(weight ^ 0xff), toA = to.a * uint32_t(weight);
    const uint32_t total = fromA + toA;
    if (total < 0xff)
        return {0, 0, 0, 0};
    return {total / 0xff, (from.r * fromA + to.r * toA) / total, (from.g * fromA + to.g * toA) / total,
            (from.b * fromA + to.b * toA) / total};
}

int weightOf(float fraction) { return int(rounded(rounded(fraction * 255.0f) + 0.5f)); }

// The two source rows a destination row samples at source height y: the row
// at y and, when y lies between two rows, the one below (null beyond the
// page); `lowerSame` when y lies on the row itself.
struct RowPair {
    const uint8_t* upper;
    const uint8_t* lower;
    bool lowerSame;
    float y;
};

RowPair rowsAt(PageRowSource& src, uint32_t h, float y)
{
    const uint32_t top = uint32_t(y);
    const bool between = y - float(top) > 0.0f;
    ptrdiff_t pitch = 0;
    const uint8_t* upper = src.rows(top, between && top + 1 < h ? 2 : 1, pitch);
    const uint8_t* lower = !between ? upper : top + 1 < h ? upper + pitch : nullptr;
    return {upper, lower, !between, y};
}

// The source colour at point (x, rows.y): the pixel itself when the point
// lies on one, else the four pixels around it mixed.
Argb sample(const RowPair& rows, uint32_t w, float x)
{
    const int left = int(x);
    const int right = x - float(left) > 0.0f ? left + 1 : left;
    if (left == right && rows.lowerSame)
        return pixelAt(rows.upper, w, left);
    const float top = float(int(rows.y));
    const int wx = weightOf(rounded(x - float(left))), wy = weightOf(rounded(rows.y - top));
    const Argb upper = mix(pixelAt(rows.upper, w, left), pixelAt(rows.upper, w, right), wx);
    const Argb lower = mix(pixelAt(rows.lower, w, left), pixelAt(rows.lower, w, right), wx);
    return mix(upper, lower, wy);
}

// The rows of a page in memory.
class MemoryRows : public PageRowSource {
public:
    MemoryRows(const uint8_t* src, ptrdiff_t pitch) : m_src(src), m_pitch(pitch) {}
    const uint8_t* rows(uint32_t first, uint32_t, ptrdiff_t& pitch) override
    {
        pitch = m_pitch;
        return m_src + ptrdiff_t(first) * m_pitch;
    }

private:
    const uint8_t* m_src;
    ptrdiff_t m_pitch;
};

// Lays a colour with alpha over the background pixel (premultiplied, with
// the platform's rounding).
uint32_t over(const Argb& c, uint32_t background)
{
    if (c.a == 255)
        return c.r << 16 | c.g << 8 | c.b;
    auto premultiplied = [&](uint32_t v) { return (v * c.a + 127) / 255; };
    auto channel = [&](uint32_t v, int shift) {
        const uint32_t under = (background >> shift) & 0xff;
        return (v + (under * (255 - c.a) + 127) / 255) & 0xff;
    };
    return channel(premultiplied(c.r), 16) << 16 | channel(premultiplied(c.g), 8) << 8 |
           channel(premultiplied(c.b), 0) | (background & 0xff000000);
}

} // namespace

void drawScaledPage(const uint8_t* src, uint32_t srcWidth, uint32_t srcHeight, ptrdiff_t srcPitch,
                    const PreviewRect& where, uint32_t* dest, size_t destPitch, int destWidth, int destHeight)
{
    if (!src)
        return;
    MemoryRows rows(src, srcPitch);
    drawScaledPage(rows, srcWidth, srcHeight, where, dest, destPitch, destWidth, destHeight);
}

void drawScaledPage(PageRowSource& src, uint32_t srcWidth, uint32_t srcHeight, const PreviewRect& where,
                    uint32_t* dest, size_t destPitch, int destWidth, int destHeight)
{
    if (!dest || srcWidth == 0 || srcHeight == 0 || where.width <= 0 || where.height <= 0)
        return;
    const Axis ax = inverseAxis(where.x, where.width, srcWidth);
    const Axis ay = inverseAxis(where.y, where.height, srcHeight);
    for (int y = where.y; y < where.y + where.height; ++y) {
        if (y < 0 || y >= destHeight)
            continue;
        const float sy = rounded(ay.origin + rounded(float(y) * ay.step));
        if (!(sy >= 0.0f && sy < float(srcHeight)))
            continue;
        const RowPair rows = rowsAt(src, srcHeight, sy);
        uint32_t* row = dest + size_t(y) * destPitch;
        for (int x = where.x; x < where.x + where.width; ++x) {
            if (x < 0 || x >= destWidth)
                continue;
            const float sx = rounded(ax.origin + rounded(float(x) * ax.step));
            if (!(sx >= 0.0f && sx < float(srcWidth)))
                continue;
            const Argb c = sample(rows, srcWidth, sx);
            if (c.a != 0)
                row[x] = over(c, row[x]);
        }
    }
}
