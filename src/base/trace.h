// The trace sink: operations pass it their name on entry and exit and a few
// labelled values. It does nothing unless the build defines VLX_TRACE, which
// routes the texts to the debugger output (Windows) or standard error.
// No behaviour depends on it.
#pragma once

#include <cstdint>
#include <string_view>

void trace(std::string_view text);
void trace(std::string_view label, std::string_view value);
void trace(std::string_view label, std::int64_t value);
