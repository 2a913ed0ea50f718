// The command line of the packaging tool, callable without a process of its
// own: build, list, verify, implode and explode.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

struct ToolEnvironment {
    // Where the implode library is looked for, in order, when neither
    // --library nor the description names one.
    std::vector<std::filesystem::path> libraryCandidates;
    // Where the installer program image is looked for, in order, when --stub
    // is not given; none found leaves the image zero-filled.
    std::vector<std::filesystem::path> stubCandidates = {};
    // Whether `err` is a terminal: build and verify then show their progress
    // there.
    bool errorsToTerminal = false;
    // What "saverpack --version" prints after the program's name.
    std::string version = {};
};

// `args` holds the arguments after the program name. Returns the exit code:
// 0 success, 1 failure (the reason is on `err`), 2 a wrong command line.
int runSaverpack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 const ToolEnvironment& environment);
