// The packaging tool run in-process with its output captured, as the tests
// of its commands use it.
#pragma once

#include "saverpack_cli.h"

#include <sstream>
#include <string>
#include <vector>

struct ToolRun {
    int code = 0;
    std::string out;
    std::string err;
};

inline ToolRun runTool(const std::vector<std::string>& args,
                       const ToolEnvironment& environment = {}) {
    std::ostringstream out;
    std::ostringstream err;
    ToolRun result;
    result.code = runSaverpack(args, out, err, environment);
    result.out = out.str();
    result.err = err.str();
    return result;
}
