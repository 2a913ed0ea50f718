// The C++ layer: compressing and expanding buffers in memory, and choosing the parse.
#include "implode/implode.h"
#include "implode_internal.h"
#include "token_writer.h"

#include <algorithm>
#include <cstring>

namespace implode {
namespace {

struct MemoryReader {
    std::span<const std::uint8_t> data;
    std::size_t pos = 0;
};

unsigned int IMPLODE_CDECL readMemory(char* buf, unsigned int* size, void* param) {
    auto& reader = *static_cast<MemoryReader*>(param);
    const std::size_t count = std::min<std::size_t>(*size, reader.data.size() - reader.pos);
    if (count != 0) {
        std::memcpy(buf, reader.data.data() + reader.pos, count);
    }
    reader.pos += count;
    return static_cast<unsigned int>(count);
}

struct MemoryTransfer {
    MemoryReader reader;
    std::vector<std::uint8_t>* output;
};

unsigned int IMPLODE_CDECL readTransfer(char* buf, unsigned int* size, void* param) {
    return readMemory(buf, size, &static_cast<MemoryTransfer*>(param)->reader);
}

void IMPLODE_CDECL writeTransfer(char* buf, unsigned int* size, void* param) {
    auto& output = *static_cast<MemoryTransfer*>(param)->output;
    output.insert(output.end(), buf, buf + *size);
}

} // namespace

unsigned int implodeStream(ImplodeReadFn readBuf, ImplodeWriteFn writeBuf, void* param,
                           const ImplodeSettings& settings) {
    unsigned int result = kResultOk;
    if (!detail::validSettings(settings.mode, settings.dictSize, result)) {
        return result;
    }
    if (settings.parse == Parse::best) {
        detail::implodeBest(readBuf, writeBuf, param, settings);
        return kResultOk;
    }
    std::vector<char> workArea(kImplodeWorkAreaSize);
    return implode(readBuf, writeBuf, workArea.data(), param, settings.mode, settings.dictSize);
}

Imploded implodeBuffer(std::span<const std::uint8_t> data, const ImplodeSettings& settings) {
    Imploded imploded;
    MemoryTransfer transfer{{data}, &imploded.stream};
    imploded.result = implodeStream(readTransfer, writeTransfer, &transfer, settings);
    return imploded;
}

Exploded explodeBuffer(std::span<const std::uint8_t> stream) {
    Exploded exploded;
    MemoryTransfer transfer{{stream}, &exploded.data};
    std::vector<char> workArea(kExplodeWorkAreaSize);
    exploded.result = explode(readTransfer, writeTransfer, workArea.data(), &transfer);
    return exploded;
}

} // namespace implode
