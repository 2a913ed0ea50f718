// The entry points of impborl.dll and of its host twin, with the classic DCL signatures.
// The exported names are _implode, _explode and _crc32: impborl.def sets them on Windows,
// the assembler names below on ELF systems (where impborl.map hides everything else).
#include "implode/implode.h"

#if defined(_WIN32)
#define IMPBORL_EXPORT_NAME(name)
#else
#define IMPBORL_EXPORT_NAME(name) __asm__(name)
#endif

extern "C" {

unsigned int IMPLODE_CDECL impborl_implode(ImplodeReadFn readBuf, ImplodeWriteFn writeBuf,
                                           char* workBuf, void* param, unsigned int* type,
                                           unsigned int* dictSize) IMPBORL_EXPORT_NAME("_implode");

unsigned int IMPLODE_CDECL impborl_explode(ImplodeReadFn readBuf, ImplodeWriteFn writeBuf,
                                           char* workBuf, void* param)
    IMPBORL_EXPORT_NAME("_explode");

unsigned long IMPLODE_CDECL impborl_crc32(char* buffer, unsigned int* size, unsigned long* oldCrc)
    IMPBORL_EXPORT_NAME("_crc32");

unsigned int IMPLODE_CDECL impborl_implode(ImplodeReadFn readBuf, ImplodeWriteFn writeBuf,
                                           char* workBuf, void* param, unsigned int* type,
                                           unsigned int* dictSize) {
    if (type == nullptr) {
        return implode::kResultInvalidMode;
    }
    if (dictSize == nullptr) {
        return implode::kResultInvalidDictionarySize;
    }
    return implode::implode(readBuf, writeBuf, workBuf, param, *type, *dictSize);
}

unsigned int IMPLODE_CDECL impborl_explode(ImplodeReadFn readBuf, ImplodeWriteFn writeBuf,
                                           char* workBuf, void* param) {
    return implode::explode(readBuf, writeBuf, workBuf, param);
}

// Continues *oldCrc over the buffer, stores the result back there and returns it.
unsigned long IMPLODE_CDECL impborl_crc32(char* buffer, unsigned int* size, unsigned long* oldCrc) {
    const auto crc = implode::crc32(buffer, *size, static_cast<std::uint32_t>(*oldCrc));
    *oldCrc = crc;
    return crc;
}

} // extern "C"
