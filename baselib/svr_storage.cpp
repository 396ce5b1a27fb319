// The stream copy shared by every storage.
#include "baselib/svr_storage.h"

#include <cstring>

#include "baselib/svr_error.h"

namespace Solvaris {

Stream::~Stream() {}

namespace {

// A zero-filled transfer block from the process allocator, freed on every
// way out.
struct TransferBlock {
    uint8_t* p;
    explicit TransferBlock(uint32_t size) : p(static_cast<uint8_t*>(memAlloc(size))) {
        if (!p)
            SVR_THROW(errOutOfMemory, "errOutOfMemory");
        std::memset(p, 0, size);
    }
    ~TransferBlock() { memFree(p); }
};

} // namespace

uint64_t Stream::writeAllFrom(Stream* source, uint32_t blockSize, StreamProgressCallback progress, void* context) {
    return writeFrom(source, 0, blockSize, progress, context);
}

uint64_t Stream::writeFrom(Stream* source, uint64_t count, uint32_t blockSize, StreamProgressCallback progress,
                           void* context) {
    if (!source)
        SVR_THROW_CODE(errInvalidParam);
    if (blockSize < 128)
        blockSize = 128;
    TransferBlock block(blockSize);
    if (progress)
        progress(context, 0, count);
    uint64_t done = 0;
    while (count == 0 || done < count) {
        uint32_t want = blockSize;
        if (count != 0 && count - done < want)
            want = uint32_t(count - done);
        uint32_t got = source->readBytes(block.p, want, false);
        // A source that reports its end only after an empty read (disk files)
        // ends the copy here as well.
        if (got == 0)
            break;
        writeBytes(block.p, got);
        done += got;
        if (progress)
            progress(context, done, count);
        if (source->isEof())
            break;
    }
    return done;
}

} // namespace Solvaris
