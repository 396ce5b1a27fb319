// The page image reader: header check, then the rows, into a top-down and a
// bottom-up destination and as one block laid out like the file, from
// arbitrary file bytes.
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <vector>

#include "app/core/page_image.h"

namespace {

// Pages large enough to make every run allocate megabytes are cut down to
// the rows the input can hold, so the fuzzer stays fast; the header's width
// and stride, where the arithmetic is, stay as they are.
void limitHeight(std::vector<uint8_t>& file) {
    PageImageHeader h;
    if (parsePageImageHeader(file.data(), file.size(), h) != PageImageCheck::Ok)
        return;
    if (uint64_t(h.width) * 3 * h.height <= (1u << 20))
        return;
    uint64_t rows = (file.size() - kPageImageHeaderSize) / (h.stride ? h.stride : 1) + 2;
    uint32_t height = uint32_t(rows < h.height ? rows : h.height);
    std::memcpy(&file[4], &height, 4);  // little-endian machines only, like the format
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file(data, data + size);
    limitHeight(file);

    MemorySource whole(file.data(), file.size());
    PageImage image;
    PageImageCheck check = decodePageImage(whole, image);
    if (check != PageImageCheck::Ok) {
        if (!image.pixels.empty())
            std::abort();
        describe(check);
        return 0;
    }
    const size_t rowBytes = pageImageRowBytes(image.header);
    if (image.pixels.size() != rowBytes * image.header.height || image.rowsRead > image.header.height)
        std::abort();
    // The rows that arrived are the file's bytes at their stride.
    for (uint32_t r = 0; r < image.rowsRead; ++r) {
        const uint8_t* in = file.data() + kPageImageHeaderSize + size_t(r) * image.header.stride;
        if (std::memcmp(in, image.pixels.data() + r * rowBytes, rowBytes) != 0)
            std::abort();
    }

    // Bottom-up into a padded bitmap, as the preview does.
    const size_t pitch = (rowBytes + 3) & ~size_t(3);
    std::vector<uint8_t> bitmap(pitch * image.header.height, 0xEE);
    MemorySource again(file.data(), file.size());
    PageImageHeader header;
    if (readPageImageHeader(again, header) != PageImageCheck::Ok)
        std::abort();
    uint8_t* last = bitmap.data() + pitch * (image.header.height - 1);
    uint32_t rows = readPageImageRows(again, header, last, -ptrdiff_t(pitch));
    if (rows != image.rowsRead)
        std::abort();

    // One block read straight into a bitmap laid out like the file, as the
    // preview reads a page whose padding is the bitmap's: the same rows and
    // the same white where the file ended.
    const uint64_t blockSize = uint64_t(header.stride) * header.height;
    if (blockSize > (4u << 20))
        return 0;
    std::vector<uint8_t> block(size_t(blockSize), 0xEE);
    const size_t got = std::min(size_t(blockSize), file.size() - kPageImageHeaderSize);
    std::memcpy(block.data(), file.data() + kPageImageHeaderSize, got);
    if (finishPageImageBlock(header, block.data(), header.height, got) != image.rowsRead)
        std::abort();
    for (uint32_t r = 0; r < header.height; ++r) {
        if (std::memcmp(block.data() + size_t(r) * header.stride, image.pixels.data() + r * rowBytes, rowBytes) != 0)
            std::abort();
    }
    return 0;
}
