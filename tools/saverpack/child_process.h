// Running another program without a shell and with its output captured:
// the only place where the packaging tool starts processes.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The program file `name` (on Windows also `name`.exe) in the first folder
// of PATH that has it.
std::optional<std::filesystem::path> findOnPath(const std::string& name);

struct ChildResult {
    int exitCode = 0;
    bool timedOut = false; // stopped at the time limit, with what it had started
    std::string output;    // standard output and error together, at most the last 64 KiB, plainText
};

// What a program printed, made safe to show on a terminal: carriage returns
// are dropped, every other control character (but newline and tab), escape
// and DEL included, and every byte that is not part of valid UTF-8 or that
// encodes a C1 control becomes '?'.
std::string plainText(std::string_view bytes);

// Runs `program` with `args` (after the program name) and waits for it to
// end, at most `limit`. Past the limit the program is stopped with all it
// started (its process group on Linux; its job object on Windows) and
// timedOut is set. It gets no input, and inherits nothing but its output
// pipe. The arguments are held as paths so that file names keep every
// character on Windows. Throws ToolError when it cannot be started.
ChildResult runChild(const std::filesystem::path& program,
                     const std::vector<std::filesystem::path>& args,
                     std::chrono::milliseconds limit);
