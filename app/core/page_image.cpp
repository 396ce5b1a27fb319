#include "app/core/page_image.h"

#include <algorithm>
#include <cstring>

namespace {
uint32_t le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void putLe32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
} // namespace

const char* describe(PageImageCheck check)
{
    switch (check) {
    case PageImageCheck::Ok: return "ok";
    case PageImageCheck::Truncated: return "file ends inside the header";
    case PageImageCheck::Empty: return "width or height is 0";
    case PageImageCheck::TooLarge: return "page too large";
    case PageImageCheck::StrideTooSmall: return "stride shorter than a row of pixels";
    }
    return "?";
}

PageImageCheck checkPageImageHeader(const PageImageHeader& h)
{
    if (h.width == 0 || h.height == 0)
        return PageImageCheck::Empty;
    if (h.width > kPageImageMaxSide || h.height > kPageImageMaxSide)
        return PageImageCheck::TooLarge;
    // 64-bit arithmetic: with both sides bounded nothing below can overflow.
    const uint64_t rowBytes = uint64_t(h.width) * 3;
    const uint64_t bitmapPitch = (rowBytes + 3) & ~uint64_t(3);
    if (bitmapPitch * h.height > kPageImageMaxBytes)
        return PageImageCheck::TooLarge;
    if (h.stride < rowBytes)
        return PageImageCheck::StrideTooSmall;
    return PageImageCheck::Ok;
}

PageImageCheck parsePageImageHeader(const uint8_t* bytes, size_t size, PageImageHeader& out)
{
    out = PageImageHeader();
    if (!bytes || size < kPageImageHeaderSize)
        return PageImageCheck::Truncated;
    out.width = le32(bytes);
    out.height = le32(bytes + 4);
    out.reserved = le32(bytes + 8);
    out.stride = le32(bytes + 12);
    return checkPageImageHeader(out);
}

size_t MemorySource::read(void* dest, size_t size)
{
    size_t n = std::min(size, m_size - m_pos);
    if (n)
        std::memcpy(dest, m_data + m_pos, n);
    m_pos += n;
    return n;
}

bool MemorySource::skip(uint64_t size)
{
    if (size > m_size - m_pos) {
        m_pos = m_size;
        return false;
    }
    m_pos += size_t(size);
    return true;
}

PageImageCheck readPageImageHeader(ByteSource& source, PageImageHeader& out)
{
    uint8_t bytes[kPageImageHeaderSize];
    size_t got = source.read(bytes, sizeof bytes);
    return parsePageImageHeader(bytes, got, out);
}

uint32_t readPageImageRows(ByteSource& source, const PageImageHeader& header,
                           uint8_t* dest, ptrdiff_t destPitch)
{
    if (checkPageImageHeader(header) != PageImageCheck::Ok || !dest)
        return 0;
    const size_t rowBytes = pageImageRowBytes(header);
    const uint64_t padding = uint64_t(header.stride) - rowBytes;
    uint32_t rows = 0;
    size_t got = 0;  // bytes of the current row that arrived
    while (rows < header.height) {
        uint8_t* row = dest + ptrdiff_t(rows) * destPitch;
        got = source.read(row, rowBytes);
        if (got != rowBytes)
            break;  // the part of the row that arrived stays
        ++rows;
        got = 0;
        if (padding && !source.skip(padding))
            break;
    }
    for (uint32_t r = rows; r < header.height; ++r, got = 0) {
        uint8_t* row = dest + ptrdiff_t(r) * destPitch;
        std::memset(row + got, 0xFF, rowBytes - got);
    }
    return rows;
}

uint32_t finishPageImageBlock(const PageImageHeader& header, uint8_t* dest, uint32_t rows, size_t got)
{
    const size_t rowBytes = pageImageRowBytes(header), stride = header.stride;
    if (got / stride >= rows)
        return rows;
    // The file ended early: what it did not supply of each row's pixels is
    // white, as readPageImageRows leaves it.
    const size_t cutRow = got / stride, cutAt = got % stride;
    for (size_t r = cutRow; r < rows; ++r) {
        const size_t from = r == cutRow ? std::min(cutAt, rowBytes) : 0;
        std::memset(dest + r * stride + from, 0xFF, rowBytes - from);
    }
    return uint32_t(cutAt >= rowBytes ? cutRow + 1 : cutRow);
}

PageImageCheck decodePageImage(ByteSource& source, PageImage& out)
{
    out = PageImage();
    PageImageCheck check = readPageImageHeader(source, out.header);
    if (check != PageImageCheck::Ok)
        return check;
    const size_t rowBytes = pageImageRowBytes(out.header);
    out.pixels.assign(rowBytes * out.header.height, 0);
    out.rowsRead = readPageImageRows(source, out.header, out.pixels.data(), ptrdiff_t(rowBytes));
    return check;
}

std::vector<uint8_t> encodePageImage(uint32_t width, uint32_t height, uint32_t stride,
                                     const uint8_t* packedBgr, uint32_t reserved)
{
    const size_t rowBytes = size_t(width) * 3;
    if (stride < rowBytes)
        stride = uint32_t(rowBytes);
    std::vector<uint8_t> file(kPageImageHeaderSize + size_t(stride) * height, 0);
    putLe32(&file[0], width);
    putLe32(&file[4], height);
    putLe32(&file[8], reserved);
    putLe32(&file[12], stride);
    for (uint32_t r = 0; r < height && packedBgr; ++r)
        std::memcpy(&file[kPageImageHeaderSize + size_t(r) * stride], packedBgr + r * rowBytes, rowBytes);
    return file;
}
