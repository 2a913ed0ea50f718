// Packs a package description behind the 64-bit test twin of installer.exe,
// for the demo and tests on machines that cannot run 32-bit programs.
// saverpack itself packs only the 32-bit product.
//   twin_pack DESCRIPTION OUT.exe TWIN_INSTALLER.exe TWIN_IMPBORL.dll IMAGE_SIZE
#include <cstdlib>
#include <exception>
#include <iostream>

#include "file_io.h"
#include "package_assembly.h"
#include "package_description.h"

int main(int argc, char** argv) {
    if (argc != 6) {
        std::cerr << "usage: twin_pack DESCRIPTION OUT.exe TWIN_INSTALLER.exe TWIN_IMPBORL.dll "
                     "IMAGE_SIZE\n";
        return 2;
    }
    try {
        PackagePlan plan = readPackageDescription(argv[1]);
        setImplodeLibrary(plan, argv[4]);
        const Bytes stub = readWholeFile(argv[3]);
        PackingOptions options;
        options.workers = defaultPackingWorkers();
        options.imageSize = std::strtoll(argv[5], nullptr, 10);
        AtomicOutputFile file(argv[2]);
        const WrittenInstaller installer = writeInstaller(plan, stub, options, file);
        file.commit();
        std::cout << argv[2] << ": " << installer.size << " bytes (64-bit test twin)\n";
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "twin_pack: " << error.what() << "\n";
        return 1;
    }
}
