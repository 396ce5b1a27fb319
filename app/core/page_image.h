// The page image file that the converter writes before it asks about a page:
// a 16-byte header of four little-endian 32-bit words (width, height, a word
// this program ignores, stride) followed by `height` rows of `stride` bytes,
// top row first, each starting with 3 x width pixel bytes in blue, green, red
// order. Nothing in the header is trusted: it is checked before any memory is
// sized from it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct PageImageHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t reserved = 0;  // written by the converter, not interpreted here
    uint32_t stride = 0;    // bytes per row in the file
};

constexpr size_t kPageImageHeaderSize = 16;

// Largest page accepted for the preview: a side of 32768 pixels and a bitmap of
// 256 MiB (a 600 dpi A3 page needs about 210 MiB). Larger headers are taken as
// damaged, so that a hostile file cannot make the program allocate at will.
constexpr uint32_t kPageImageMaxSide = 32768;
constexpr uint64_t kPageImageMaxBytes = 256ull << 20;

enum class PageImageCheck {
    Ok,
    Truncated,       // the file ends inside the header
    Empty,           // width or height is 0
    TooLarge,        // a side or the whole bitmap exceeds the limits above
    StrideTooSmall,  // a row in the file is shorter than its 3 x width pixel bytes
};

const char* describe(PageImageCheck check);

// Decodes the header from the first `size` bytes of the file and checks it.
PageImageCheck parsePageImageHeader(const uint8_t* bytes, size_t size, PageImageHeader& out);
PageImageCheck checkPageImageHeader(const PageImageHeader& header);

// Bytes of pixel data per row (3 x width), valid once the header checked Ok.
inline size_t pageImageRowBytes(const PageImageHeader& h) { return size_t(h.width) * 3; }

// A sequential source of file bytes. read returns how many bytes it gave
// (fewer only at the end of the data); skip moves forward and reports whether
// the data went on that far.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual size_t read(void* dest, size_t size) = 0;
    virtual bool skip(uint64_t size) = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const void* data, size_t size)
        : m_data(static_cast<const uint8_t*>(data)), m_size(size) {}
    size_t read(void* dest, size_t size) override;
    bool skip(uint64_t size) override;

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Reads the header through `source` (exactly 16 bytes) and checks it.
PageImageCheck readPageImageHeader(ByteSource& source, PageImageHeader& out);

// Copies the rows that follow the header into `dest`, row r starting at
// dest + r * destPitch (destPitch >= 3 x width; it may be negative for
// bottom-up bitmaps). The padding behind each row is skipped. Where a file
// ends early, the pixels it did not supply (the rest of the cut row and
// every row below) are made white, the paper's colour; the bytes behind
// each row's 3 x width are never written. Returns the number of complete
// rows copied.
uint32_t readPageImageRows(ByteSource& source, const PageImageHeader& header,
                           uint8_t* dest, ptrdiff_t destPitch);

// For a caller that reads rows itself, into memory laid out like the file
// (row i at dest + i * stride), so that a large page goes from the file
// straight into `dest`: `rows` rows were read in one piece and `got` bytes
// arrived. Makes white what the read did not supply of each row's pixels,
// the same pixels as readPageImageRows gives (the padding behind each row
// is the file's, where it arrived), and returns the number of complete
// rows. (One row read on its own is the case rows 1.)
uint32_t finishPageImageBlock(const PageImageHeader& header, uint8_t* dest, uint32_t rows, size_t got);

// Where row `row` starts in the file.
inline uint64_t pageImageRowOffset(const PageImageHeader& h, uint32_t row)
{
    return kPageImageHeaderSize + uint64_t(row) * h.stride;
}

// A decoded page: pixels in file order (blue, green, red), rows packed without
// padding. Pixels a short file did not supply are white.
struct PageImage {
    PageImageHeader header;
    std::vector<uint8_t> pixels;
    uint32_t rowsRead = 0;
};

// Whole-file decode for tools and tests. Returns the header check; on
// anything but Ok, `out.pixels` is empty.
PageImageCheck decodePageImage(ByteSource& source, PageImage& out);

// The inverse, for the converter stand-in and tests: header plus rows padded
// with zero bytes to `stride` (which must be at least 3 x width).
std::vector<uint8_t> encodePageImage(uint32_t width, uint32_t height, uint32_t stride,
                                     const uint8_t* packedBgr, uint32_t reserved = 0);
