// Running another program without a shell and with its output captured:
// the only place where the packaging tool starts processes.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The program file `name` (on Windows also `name`.exe) in the first folder
// of PATH that has it.
std::optional<std::filesystem::path> findOnPath(const std::string& name);

struct ChildResult {
    int exitCode = 0;
    std::string output; // standard output and error together, at most the last 64 KiB
};

// Runs `program` with `args` (after the program name) and waits for it to
// end. The arguments are held as paths so that file names keep every
// character on Windows. Throws ToolError when it cannot be started.
ChildResult runChild(const std::filesystem::path& program,
                     const std::vector<std::filesystem::path>& args);
