#include "app/core/pipe_protocol.h"

#include <cstring>

namespace {

uint32_t getLE32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void putLE32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// Reads exactly `size` bytes, taking as many reads as the stream needs.
// False when the stream fails or ends before all of them arrived.
bool readExactly(PipeByteSource& pipe, uint8_t* buffer, uint32_t size)
{
    uint32_t have = 0;
    while (have < size) {
        uint32_t got = 0;
        if (!pipe.read(buffer + have, size - have, got) || got == 0 || got > size - have)
            return false;
        have += got;
    }
    return true;
}

} // namespace

std::u16string PipeMessage::text() const
{
    std::u16string out;
    size_t units = payload.size() / 2;
    out.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        char16_t c = static_cast<char16_t>(payload[2 * i] | (payload[2 * i + 1] << 8));
        if (c == 0)
            break;
        out.push_back(c);
    }
    return out;
}

bool PipeMessage::pageCount(uint32_t& count) const
{
    if (payload.size() < 8)
        return false;
    count = getLE32(&payload[4]);
    return true;
}

std::unique_ptr<PipeMessage> readPipeMessage(PipeByteSource& pipe, uint32_t windowHandle)
{
    uint8_t header[8];
    for (;;) {
        if (!readExactly(pipe, header, 8))
            return nullptr;
        uint32_t kind = getLE32(header);
        uint32_t length = getLE32(header + 4);
        if (kind == PM_GET_WINDOW && length == 0) {
            uint8_t reply[4];
            putLE32(reply, windowHandle);
            pipe.write(reply, 4);  // a failed reply is not noticed
            continue;
        }
        if (length > kMaxPipePayload)
            return nullptr;
        std::unique_ptr<PipeMessage> message(new PipeMessage);
        message->pipe = pipe.handle();
        message->kind = kind;
        message->length = length;
        message->payload.resize(length);
        if (length != 0 && !readExactly(pipe, message->payload.data(), length))
            return nullptr;
        return message;
    }
}

std::vector<uint8_t> encodePipeMessage(uint32_t kind, const void* payload, uint32_t length)
{
    std::vector<uint8_t> bytes(8 + static_cast<size_t>(length));
    putLE32(&bytes[0], kind);
    putLE32(&bytes[4], length);
    if (length)
        std::memcpy(&bytes[8], payload, length);
    return bytes;
}

std::vector<uint8_t> encodePipeText(uint32_t kind, const std::u16string& text)
{
    std::vector<uint8_t> payload;
    payload.reserve(text.size() * 2 + 2);
    for (char16_t c : text) {
        payload.push_back(static_cast<uint8_t>(c));
        payload.push_back(static_cast<uint8_t>(c >> 8));
    }
    payload.push_back(0);
    payload.push_back(0);
    return encodePipeMessage(kind, payload.data(), static_cast<uint32_t>(payload.size()));
}

std::vector<uint8_t> encodePageCount(uint32_t count)
{
    uint8_t payload[8] = {};
    putLE32(payload + 4, count);
    return encodePipeMessage(PM_PAGE_COUNT, payload, 8);
}
