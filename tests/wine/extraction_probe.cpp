// Installs a package quietly with the real backend and writes how much the
// process's private memory grew at its peak, and how many data files were
// placed.
//   extraction_probe INSTALLER PACKAGE_OFFSET FIGURES_FILE
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "real_installation.h"

namespace {

SIZE_T peakPrivateBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakPagefileUsage;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    const SIZE_T before = peakPrivateBytes();
    ResultCode code = result::kOk;
    std::size_t files = 0;
    {
        winetest::RealInstallation installation(argv[1], std::atoll(argv[2]));
        code = installation.prepare();
        if (code == result::kOk)
            code = installation.placeFiles();
        files = installation.context.installedFiles.count;
    }
    const SIZE_T peak = peakPrivateBytes();
    FILE* out = std::fopen(argv[3], "w");
    if (!out)
        return 3;
    std::fprintf(out, "peak growth %lld bytes, %lld files, result %d",
                 static_cast<long long>(peak - before), static_cast<long long>(files),
                 static_cast<int>(code));
    std::fclose(out);
    return code == result::kOk ? 0 : 1;
}
