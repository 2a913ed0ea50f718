#include "base/trace.h"

#ifdef VLX_TRACE
#include <string>
#ifdef _WIN32
#include <windows.h>
#else
#include <cstdio>
#endif

static void emit(const std::string& line) {
#ifdef _WIN32
    OutputDebugStringA((line + "\n").c_str());
#else
    std::fprintf(stderr, "%s\n", line.c_str());
#endif
}

void trace(std::string_view text) {
    emit(std::string(text));
}
void trace(std::string_view label, std::string_view value) {
    emit(std::string(label) + " " + std::string(value));
}
void trace(std::string_view label, std::int64_t value) {
    emit(std::string(label) + " " + std::to_string(value));
}
#else
void trace(std::string_view) {}
void trace(std::string_view, std::string_view) {}
void trace(std::string_view, std::int64_t) {}
#endif
