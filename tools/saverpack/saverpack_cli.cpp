#include "saverpack_cli.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>

#include "code_signing.h"
#include "file_io.h"
#include "implode/implode.h"
#include "package_assembly.h"
#include "package_description.h"
#include "package_init.h"
#include "package_listing.h"
#include "progress.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr const char* kQuietOption = "--quiet";
constexpr const char* kCaOption = "--ca";

constexpr const char* kGeneralHelp = R"(usage: saverpack COMMAND [OPTIONS] ...

Makes screen-saver installers and looks into them.

commands:
  init FOLDER                    write a package description for a saver's files
  build DESCRIPTION -o OUT.exe   pack the files a package description names
  list FILE                      show an installer's header, entries and data files
  verify FILE                    expand and check everything an installer carries
  sign FILE --sign PFX           sign an installer in place (Authenticode)
  implode IN OUT                 compress a file into a raw implode stream
  explode IN OUT                 expand a raw implode stream

"saverpack COMMAND --help" tells more about each; "saverpack --version"
prints the version.
)";

constexpr const char* kBuildHelp =
    R"(usage: saverpack build DESCRIPTION -o OUT.exe [--stub FILE] [--library FILE] [--best]
                       [-j N] [--sign PFX [--password-file FILE] [--timestamp URL]
                       [--sign-timeout S]] [--quiet]

Reads the package description (JSON), checks it, packs every file it names
and writes the installer: the stub padded to 698368 bytes, the header and the
entries. Each file is compressed unless that does not make it smaller. The
result is checked like "saverpack verify" before it is written; nothing is
left behind on failure. On a terminal, a line on standard error shows the
entries and data files packed and checked, and their bytes.

options:
  -o, --output OUT   the installer to write
  --stub FILE        the installer program image (at most 698368 bytes); default:
                     the installer.exe that came with saverpack (beside
                     saverpack.exe; ../share/saverpack beside the folder of
                     the Linux saverpack). Without one the image is
                     zero-filled: the package is complete, but the file does
                     not run.
  --library FILE     impborl.dll, carried as entry 1 "impborl.dat"; default: the
                     description's "implodeLibrary", else the impborl.dll
                     that came with saverpack (found as installer.exe is).
  --best             the slower optimal parse: smaller streams
  -j, --jobs N       compress N files at once (default: one per core); the
                     installer is the same for any N
  --sign PFX ...     sign the installer before it is written, as "saverpack sign"
                     does (see "saverpack sign --help"); nothing is written when
                     signing fails
  --quiet            no progress line and no notes; errors and warnings stay

description fields:
  saverTitle (at most 64 bytes), installMode (1 "bitmap", 2 or 3 "movie",
  4 "quiet", 8 "jpeg"), offerControlPanel, implodeLibrary, flashInstaller and
  flashAXInstallerVersion (0 or 1), preview (not needed when quiet), licence
  and document (optional; they set hasLicence and hasDocument), engine,
  furtherFiles (three files: entries 7, 9 and 10), dataFile {name, settings
  (a 1240-byte file), saverKind, files: [{folder, under}, {file, name},
  {name, copy: true}]}.
  A file is a path relative to the description, or {file, name, kind,
  compress}. Default kinds: flashInstaller 3, preview, licence, document and
  data file 7 (the work folder), engine 2, further files 1 (the saver folder).
)";

constexpr const char* kInitHelp = R"(usage: saverpack init FOLDER [-o DESCRIPTION] [--quiet]

Writes a package description for the saver's files in FOLDER, asking nothing,
and prints each guess on a line of its own. Each field has a sibling
"//field" that explains it; build skips such keys. The description is checked
like "saverpack build" checks it before it is written. An existing
DESCRIPTION is never replaced.

options:
  -o, --output DESCRIPTION   default: FOLDER/package.json
  --quiet                    print no guesses

the guesses (names compared regardless of case, lists in name order):
  the package's files   those in FOLDER/files when there is one (then the
                        other files directly in FOLDER are ignored), else
                        those in FOLDER; a package.json among them is ignored
  engine                the one .scr; saverTitle is its name without .scr
  preview               the one .bmp (installMode "bitmap"), .jpg or .jpeg
                        ("jpeg") or .swf ("movie"); of several, the one whose
                        name holds "preview"; none: installMode "quiet"
  licence               licence.rtf, licence.txt, license.rtf or license.txt
  document              the .txt named after the engine, else the one readme*
  flashInstaller        install_flash_player_active_x.exe or
                        install_flash_player_10_active_x.exe
  settings              settings.bin (the 1240-byte settings record)
  furtherFiles          the first three of the other files
  data files            the rest of the other files; and each folder of
                        FOLDER except files/: data/ into the saver's folder
                        itself, any other into a subfolder of its own name
Refused, with the file or folder named: no engine or two, two candidates for
one field, fewer than three further files, and a name the installer refuses.
)";

constexpr const char* kListHelp = R"(usage: saverpack list FILE [--ca ROOT.pem]...

Shows the header fields of an installer, every entry (index, kind, compressed,
firstByte, lastByte, stored and expanded size, name) and every record of the
saver data file (entry 8, expanded when compressed), the signer (the
certificate's subject and validity), whether the signature is valid and
chained to a trusted root (as "saverpack verify" checks it), and any fault
noticed.

options:
  --ca ROOT.pem   trust the certificates of this PEM file too (may repeat)
)";

constexpr const char* kVerifyHelp =
    R"(usage: saverpack verify FILE [--ca ROOT.pem]... [--require-trusted] [--quiet]

Expands every entry and every data-file item of an installer and checks every
offset and size against the file and against what the installer requires.
A signed installer's signature is valid when the hash of the signed bytes is
the one the signature names, the signed attributes' digest matches it, the
signature value verifies with the signer's key and the signer's certificate
verifies with its issuer's; nothing but the signature and at most 7 zero
bytes of padding may follow the signed bytes. Whether the signer's
certificate is chained to a trusted root (the system's, and those given with
--ca) is shown beside it, as are an expired certificate and one not meant
for code signing. Exits with 0 only when all of it holds. On a terminal, a
line on standard error shows the entries and data files checked; --quiet
leaves it out.

options:
  --ca ROOT.pem       trust the certificates of this PEM file too (may repeat)
  --require-trusted   a signature that is not chained to a trusted root, or
                      whose certificate is expired or not for code signing,
                      is a problem too
  --quiet             no progress line
)";

constexpr const char* kImplodeHelp =
    R"(usage: saverpack implode [--ascii] [--window 1024|2048|4096] [--best] IN OUT

Compresses IN into the raw implode stream OUT.

options:
  --ascii          the ASCII literal mode (default: binary)
  --window SIZE    the dictionary size: 1024, 2048 or 4096 (default)
  --best           the slower optimal parse
)";

constexpr const char* kSignHelp =
    R"(usage: saverpack sign FILE --sign PFX [--password-file FILE] [--timestamp URL]
                      [--sign-timeout S]

Signs an installer in place with an Authenticode signature (SHA-256). The
package is checked first; the signed result must read back whole, with its
certificate valid now and meant for code signing, before it replaces FILE.
On failure FILE stays as it was; it keeps its permissions. A symbolic link
is refused: sign the file it leads to.

The signer is osslsigncode on PATH (Debian package osslsigncode); on Windows
signtool.exe on PATH, else osslsigncode.exe.

options:
  --sign PFX             the certificate and its private key (PKCS#12)
  --password-file FILE   the file whose first line is the PFX's password; it is
                         never put on a command line, so on Windows it needs
                         osslsigncode.exe
  --timestamp URL        an RFC 3161 time-stamping server
  --sign-timeout S       how many seconds the signer may take, waiting for the
                         time-stamping server included (default 300); past
                         them it is stopped and nothing is written
)";

constexpr const char* kExplodeHelp = R"(usage: saverpack explode IN OUT

Expands the raw implode stream IN into OUT.
)";

// A wrong command line: reported with the command's usage line.
struct UsageError {
    std::string message;
};

bool wantsHelp(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h")
            return true;
    }
    return false;
}

// Takes the value after an option.
std::string optionValue(const std::vector<std::string>& args, std::size_t& i) {
    if (i + 1 >= args.size())
        throw UsageError{args[i] + " needs a value"};
    return args[++i];
}

std::vector<std::string> positionalOnly(const std::vector<std::string>& args, std::size_t count) {
    std::vector<std::string> found;
    for (const std::string& arg : args) {
        if (arg.size() > 1 && arg[0] == '-')
            throw UsageError{"unknown option " + arg};
        found.push_back(arg);
    }
    if (found.size() != count)
        throw UsageError{"expects " + std::to_string(count) + " file name" +
                         (count == 1 ? "" : "s")};
    return found;
}

// Installers carry only 32-bit programs: the stub and the implode library of
// the 64-bit test build (or any other non-i386 Windows image) are refused.
void refuseNonI386Image(const fs::path& file, const Bytes& image) {
    constexpr std::size_t kNewHeaderOffsetField = 0x3C;
    constexpr std::uint16_t kMachineI386 = 0x014C;
    const auto word = [&](std::size_t at) {
        return static_cast<std::uint32_t>(image[at] | image[at + 1] << 8);
    };
    if (image.size() < kNewHeaderOffsetField + 4 || image[0] != 'M' || image[1] != 'Z')
        return;
    const std::uint32_t header = word(kNewHeaderOffsetField) | word(kNewHeaderOffsetField + 2)
                                                                   << 16;
    if (header > image.size() - 6 || image[header] != 'P' || image[header + 1] != 'E' ||
        image[header + 2] != 0 || image[header + 3] != 0)
        return;
    const std::uint32_t machine = word(header + 4);
    if (machine != kMachineI386) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(machine));
        throw ToolError(file, std::string("is a Windows image for machine 0x") + hex +
                                  ", not i386; installers carry only the 32-bit build");
    }
}

// -j N: from 1 to 256 files at once.
unsigned int workerCount(const std::string& text) {
    constexpr unsigned int kMost = 256;
    unsigned int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > kMost)
        throw UsageError{"-j takes a number of files from 1 to " + std::to_string(kMost) +
                         ", not " + text};
    return value;
}

fs::path chooseLibrary(const std::optional<fs::path>& option, const PackagePlan& plan,
                       const ToolEnvironment& environment) {
    if (option)
        return *option;
    if (plan.implodeLibrary)
        return *plan.implodeLibrary;
    std::string looked;
    for (const fs::path& candidate : environment.libraryCandidates) {
        std::error_code error;
        if (fs::is_regular_file(candidate, error))
            return candidate;
        looked += (looked.empty() ? "" : ", ") + displayPath(candidate);
    }
    throw ToolError(plan.descriptionFile,
                    "no implode library: give \"implodeLibrary\" or --library" +
                        (looked.empty() ? std::string() : " (not found: " + looked + ")"));
}

std::optional<fs::path> chooseStub(const std::optional<fs::path>& option,
                                   const ToolEnvironment& environment) {
    if (option)
        return option;
    for (const fs::path& candidate : environment.stubCandidates) {
        std::error_code error;
        if (fs::is_regular_file(candidate, error))
            return candidate;
    }
    return std::nullopt;
}

// --sign PFX, --password-file FILE, --timestamp URL and --sign-timeout S, as
// build and sign take them.
struct SigningChoice {
    std::optional<fs::path> certificate;
    std::optional<fs::path> passwordFile;
    std::optional<std::string> timestampUrl;
    std::optional<std::chrono::seconds> timeout;

    bool take(const std::vector<std::string>& args, std::size_t& i) {
        if (args[i] == "--sign")
            certificate = pathFromUtf8(optionValue(args, i));
        else if (args[i] == "--password-file")
            passwordFile = pathFromUtf8(optionValue(args, i));
        else if (args[i] == "--timestamp")
            timestampUrl = optionValue(args, i);
        else if (args[i] == "--sign-timeout")
            timeout = seconds(optionValue(args, i));
        else
            return false;
        return true;
    }

    static std::chrono::seconds seconds(const std::string& text) {
        constexpr int kMost = 24 * 60 * 60;
        int value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > kMost)
            throw UsageError{"--sign-timeout takes whole seconds from 1 to " +
                             std::to_string(kMost) + ", not " + text};
        return std::chrono::seconds(value);
    }

    std::optional<SigningOptions> options() const {
        if (!certificate && (passwordFile || timestampUrl))
            throw UsageError{"--password-file and --timestamp need --sign PFX"};
        if (!certificate && timeout)
            throw UsageError{"--sign-timeout needs --sign PFX"};
        if (!certificate)
            return std::nullopt;
        return SigningOptions{*certificate, passwordFile, timestampUrl,
                              timeout.value_or(kDefaultSigningTimeout)};
    }
};

// Signs and checks that the signed package still reads as it did.
SignedInstaller signChecked(std::span<const std::uint8_t> installer, const SigningOptions& options,
                            const fs::path& output) {
    SignedInstaller result = signInstaller(installer, options, output);
    MemorySource source(result.bytes);
    const PackageReport report = inspectPackage(source, InspectionDepth::list);
    if (!report.problems.empty())
        throw ToolError(output, "not signed: the signed package fails its check: " +
                                    report.problems.front());
    return result;
}

std::string signedBy(const SignerCertificate& signer) {
    return "signed by \"" + signer.subjectName + "\"";
}

void printSigner(const SignerCertificate& signer, std::ostream& out) {
    out << signedBy(signer);
}

int build(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
          const ToolEnvironment& environment) {
    std::optional<fs::path> description;
    std::optional<fs::path> output;
    std::optional<fs::path> stubOption;
    std::optional<fs::path> library;
    PackingOptions packing;
    packing.workers = defaultPackingWorkers();
    bool quiet = false;
    SigningChoice signing;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (signing.take(args, i))
            continue;
        if (arg == "-o" || arg == "--output")
            output = pathFromUtf8(optionValue(args, i));
        else if (arg == "--stub")
            stubOption = pathFromUtf8(optionValue(args, i));
        else if (arg == "--library")
            library = pathFromUtf8(optionValue(args, i));
        else if (arg == "--best")
            packing.choice.parse = implode::Parse::best;
        else if (arg == "-j" || arg == "--jobs")
            packing.workers = workerCount(optionValue(args, i));
        else if (arg == kQuietOption)
            quiet = true;
        else if (arg.size() > 1 && arg[0] == '-')
            throw UsageError{"unknown option " + arg};
        else if (description)
            throw UsageError{"takes one description, not also " + arg};
        else
            description = pathFromUtf8(arg);
    }
    if (!description)
        throw UsageError{"needs a package description"};
    if (!output)
        throw UsageError{"needs -o OUT.exe"};
    const std::optional<SigningOptions> signingOptions = signing.options();

    PackagePlan plan = readPackageDescription(*description);
    const fs::path libraryFile = chooseLibrary(library, plan, environment);
    setImplodeLibrary(plan, libraryFile);
    const std::optional<fs::path> stubFile = chooseStub(stubOption, environment);
    if (signingOptions && !stubFile)
        throw ToolError(*output, "cannot sign: without --stub the program image is zero-filled, "
                                 "not a Windows program");
    Bytes stub;
    if (stubFile) {
        stub = readWholeFile(*stubFile);
        if (stub.size() > static_cast<std::size_t>(INSTALLER_SIZE_IN_BYTES))
            throw ToolError(*stubFile, std::to_string(stub.size()) +
                                           " bytes, more than the program image's 698368");
        refuseNonI386Image(*stubFile, stub);
    }

    TerminalProgress terminal(err);
    ProgressSink& progress = environment.errorsToTerminal && !quiet ? terminal : noProgress();
    refuseNonI386Image(libraryFile, readWholeFile(libraryFile));
    packing.progress = &progress;
    AtomicOutputFile file(*output);
    const WrittenInstaller installer = writeInstaller(plan, stub, packing, file);
    for (const std::string& warning : installer.warnings)
        err << "saverpack: warning: " << warning << "\n";

    // Checked as it lies on the disk, before it takes the output's name (and
    // closed again: Windows renames no file that is open).
    const PackageReport report = [&] {
        FileSource built(file.temporaryPath());
        return inspectPackage(built, InspectionDepth::verify, progress);
    }();
    if (!report.problems.empty()) {
        std::string problems;
        for (const std::string& problem : report.problems)
            problems += "\n  " + problem;
        throw ToolError(*output, "not written: the package fails its own check:" + problems);
    }

    std::optional<SignedInstaller> signedInstaller;
    std::uint64_t writtenSize = installer.size;
    if (signingOptions) {
        signedInstaller =
            signChecked(readWholeFile(file.temporaryPath()), *signingOptions, *output);
        AtomicOutputFile signedFile(*output);
        signedFile.write(signedInstaller->bytes);
        signedFile.commit();
        writtenSize = signedInstaller->bytes.size();
    } else {
        file.commit();
    }
    std::size_t entries = 0;
    for (const PackageEntry& entry : report.header.entries)
        entries += entry.present() ? 1 : 0;
    out << displayPath(*output) << ": " << writtenSize << " bytes, " << entries << " entries, "
        << plan.dataItems.size() << " data files";
    if (signedInstaller) {
        out << ", ";
        printSigner(signedInstaller->signer, out);
    }
    out << "\n";
    if (quiet)
        return kExitOk;
    std::string looked;
    for (const fs::path& candidate : environment.stubCandidates)
        looked += (looked.empty() ? " (not found: " : ", ") + displayPath(candidate);
    if (!looked.empty())
        looked += ")";
    if (!stubFile)
        err << "saverpack: note: no --stub" << looked << ": the program image is zero-filled, so "
            << displayPath(*output) << " carries the whole package but does not run\n";
    else if (!stubOption)
        err << "saverpack: note: no --stub: the program image is " << displayPath(*stubFile)
            << "\n";
    return kExitOk;
}

int init(const std::vector<std::string>& args, std::ostream& out) {
    std::optional<fs::path> folder;
    fs::path output;
    bool quiet = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-o" || arg == "--output")
            output = pathFromUtf8(optionValue(args, i));
        else if (arg == kQuietOption)
            quiet = true;
        else if (arg.size() > 1 && arg[0] == '-')
            throw UsageError{"unknown option " + arg};
        else if (folder)
            throw UsageError{"takes one folder, not also " + arg};
        else
            folder = pathFromUtf8(arg);
    }
    if (!folder)
        throw UsageError{"needs a folder"};
    const std::vector<std::string> guesses = writeStartingDescription(*folder, output);
    for (const std::string& guess : quiet ? std::vector<std::string>{} : guesses)
        out << guess << "\n";
    return kExitOk;
}

// "chained to a trusted root: yes (root "CN")", or no with the reason.
std::string trustText(const TrustVerdict& trust) {
    return "chained to a trusted root: " +
           (trust.trusted ? "yes (root \"" + trust.rootName + "\")" : "no: " + trust.reason);
}

int list(const std::vector<std::string>& args, std::ostream& out) {
    TrustOptions trust;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == kCaOption)
            trust.extraRoots.push_back(pathFromUtf8(optionValue(args, i)));
        else
            files.push_back(args[i]);
    }
    const fs::path file = pathFromUtf8(positionalOnly(files, 1)[0]);
    FileSource source(file);
    const PackageReport report = inspectPackage(source, InspectionDepth::list);
    out << displayPath(file) << "\n";
    printListing(report, out);
    const SignatureReport signature = inspectSignature(source, trust);
    out << "signer                   ";
    if (signature.signer)
        out << "\"" << signature.signer->subjectName << "\", valid from "
            << formatUtc(signature.signer->notBefore) << " to "
            << formatUtc(signature.signer->notAfter) << "\n";
    else
        out << (signature.isSigned ? "unknown" : "none (not signed)") << "\n";
    if (signature.valid())
        out << "signature                valid, " << trustText(signature.trust) << "\n";
    else if (signature.isSigned)
        out << "signature                not valid\n";
    for (const std::string& note : signature.notes)
        out << "note: " << note << "\n";
    for (const std::string& problem : report.problems)
        out << "problem: " << problem << "\n";
    for (const std::string& problem : signature.problems)
        out << "problem: " << problem << "\n";
    return report.headerRead ? kExitOk : kExitFailed;
}

int verify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const ToolEnvironment& environment) {
    TrustOptions trust;
    bool requireTrusted = false;
    bool quiet = false;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == kCaOption)
            trust.extraRoots.push_back(pathFromUtf8(optionValue(args, i)));
        else if (args[i] == "--require-trusted")
            requireTrusted = true;
        else if (args[i] == kQuietOption)
            quiet = true;
        else
            files.push_back(args[i]);
    }
    const fs::path file = pathFromUtf8(positionalOnly(files, 1)[0]);
    FileSource source(file);
    TerminalProgress terminal(err);
    const bool showProgress = environment.errorsToTerminal && !quiet;
    const PackageReport report =
        inspectPackage(source, InspectionDepth::verify, showProgress ? terminal : noProgress());
    const SignatureReport signature = inspectSignature(source, trust);
    std::vector<std::string> problems = report.problems;
    problems.insert(problems.end(), signature.problems.begin(), signature.problems.end());
    for (const std::string& check : report.checks)
        out << "ok       " << check << "\n";
    // Trust, dates and usage are notes unless --require-trusted makes them problems.
    const auto noteOrProblem = [&](const std::string& text) {
        if (requireTrusted)
            problems.push_back(text);
        else
            out << "note     " << text << "\n";
    };
    if (!signature.isSigned) {
        out << "note     not signed\n";
    } else if (signature.valid()) {
        const std::string line =
            "signature valid, " + signedBy(*signature.signer) + ", " + trustText(signature.trust);
        if (signature.trust.trusted)
            out << "ok       " << line << "\n";
        else
            noteOrProblem(line);
        if (signature.timestamp)
            out << "ok       countersigned (timestamp) at " << formatUtc(*signature.timestamp)
                << "\n";
        for (const std::string& note : signature.notes)
            noteOrProblem("signature: " + note);
    }
    for (const std::string& problem : problems)
        out << "PROBLEM  " << problem << "\n";
    std::size_t items = report.dataFile ? report.dataFile->items.size() : 0;
    if (problems.empty()) {
        out << displayPath(file) << ": verified, every entry and all " << items
            << " data files hold\n";
        return kExitOk;
    }
    out << displayPath(file) << ": " << problems.size() << " problem"
        << (problems.size() == 1 ? "" : "s") << "\n";
    return kExitFailed;
}

int signCommand(const std::vector<std::string>& args, std::ostream& out) {
    SigningChoice signing;
    std::optional<fs::path> file;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (signing.take(args, i))
            continue;
        if (args[i].size() > 1 && args[i][0] == '-')
            throw UsageError{"unknown option " + args[i]};
        if (file)
            throw UsageError{"signs one installer, not also " + args[i]};
        file = pathFromUtf8(args[i]);
    }
    if (!file)
        throw UsageError{"needs an installer"};
    const std::optional<SigningOptions> options = signing.options();
    if (!options)
        throw UsageError{"needs --sign PFX"};

    // Replacing a link would put the signed copy in its place.
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(*file, error)))
        throw ToolError(*file, "a symbolic link; sign the file it leads to");
    const Bytes installer = readWholeFile(*file);
    MemorySource source(installer);
    const PackageReport report = inspectPackage(source, InspectionDepth::verify);
    if (!report.problems.empty())
        throw ToolError(*file,
                        "not signed: the package fails its check: " + report.problems.front());
    const SignedInstaller result = signChecked(installer, *options, *file);
    AtomicOutputFile output(*file, AtomicOutputFile::Permissions::ofTheTarget);
    output.write(result.bytes);
    output.commit();
    out << displayPath(*file) << ": ";
    printSigner(result.signer, out);
    out << "\n";
    return kExitOk;
}

// Carries bytes from an input file through implode or explode into an
// output file, in pieces.
struct StreamPump {
    std::ifstream in;
    AtomicOutputFile& out;
    bool readFailed = false;
    std::optional<std::string> writeError;
};

unsigned int IMPLODE_CDECL pumpRead(char* buf, unsigned int* size, void* param) {
    auto& pump = *static_cast<StreamPump*>(param);
    if (pump.readFailed || pump.writeError)
        return 0;
    pump.in.read(buf, *size);
    if (pump.in.bad())
        pump.readFailed = true;
    return static_cast<unsigned int>(pump.in.gcount());
}

void IMPLODE_CDECL pumpWrite(char* buf, unsigned int* size, void* param) {
    auto& pump = *static_cast<StreamPump*>(param);
    if (pump.writeError)
        return;
    try {
        pump.out.write(std::span(reinterpret_cast<const std::uint8_t*>(buf), *size));
    } catch (const ToolError& error) {
        pump.writeError = error.what();
    }
}

void finishPump(StreamPump& pump, const fs::path& input, unsigned int result) {
    if (pump.readFailed)
        throw ToolError(input, "reading failed");
    if (pump.writeError)
        throw ToolError(*pump.writeError);
    if (result != implode::kResultOk)
        throw ToolError(input, describeImplodeResult(result));
    pump.out.commit();
}

int implodeCommand(const std::vector<std::string>& args, std::ostream& out) {
    implode::ImplodeSettings settings;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--ascii") {
            settings.mode = implode::kModeAscii;
        } else if (arg == "--best") {
            settings.parse = implode::Parse::best;
        } else if (arg == "--window") {
            const std::string window = optionValue(args, i);
            if (window == "1024")
                settings.dictSize = implode::kDictionary1K;
            else if (window == "2048")
                settings.dictSize = implode::kDictionary2K;
            else if (window == "4096")
                settings.dictSize = implode::kDictionary4K;
            else
                throw UsageError{"--window must be 1024, 2048 or 4096, not " + window};
        } else {
            files.push_back(arg);
        }
    }
    files = positionalOnly(files, 2);
    std::ifstream input = openInputFile(pathFromUtf8(files[0]));
    AtomicOutputFile output(pathFromUtf8(files[1]));
    StreamPump pump{std::move(input), output, false, std::nullopt};
    const unsigned int result = implode::implodeStream(pumpRead, pumpWrite, &pump, settings);
    finishPump(pump, pathFromUtf8(files[0]), result);
    out << files[1] << ": written\n";
    return kExitOk;
}

int explodeCommand(const std::vector<std::string>& args, std::ostream& out) {
    const std::vector<std::string> files = positionalOnly(args, 2);
    std::ifstream input = openInputFile(pathFromUtf8(files[0]));
    AtomicOutputFile output(pathFromUtf8(files[1]));
    StreamPump pump{std::move(input), output, false, std::nullopt};
    std::vector<char> workArea(implode::kExplodeWorkAreaSize);
    const unsigned int result = implode::explode(pumpRead, pumpWrite, workArea.data(), &pump);
    finishPump(pump, pathFromUtf8(files[0]), result);
    out << files[1] << ": written\n";
    return kExitOk;
}

} // namespace

int runSaverpack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 const ToolEnvironment& environment) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        (args.empty() ? err : out) << kGeneralHelp;
        return args.empty() ? kExitUsage : kExitOk;
    }
    if (args[0] == "--version") {
        out << "saverpack " << environment.version << "\n";
        return kExitOk;
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    const struct {
        const char* name;
        const char* help;
    } commands[] = {{"init", kInitHelp},      {"build", kBuildHelp}, {"list", kListHelp},
                    {"verify", kVerifyHelp},  {"sign", kSignHelp},   {"implode", kImplodeHelp},
                    {"explode", kExplodeHelp}};
    const char* help = nullptr;
    for (const auto& known : commands) {
        if (command == known.name)
            help = known.help;
    }
    if (help == nullptr) {
        err << "saverpack: unknown command " << command << "\n" << kGeneralHelp;
        return kExitUsage;
    }
    if (wantsHelp(rest)) {
        out << help;
        return kExitOk;
    }
    try {
        if (command == "init")
            return init(rest, out);
        if (command == "build")
            return build(rest, out, err, environment);
        if (command == "list")
            return list(rest, out);
        if (command == "verify")
            return verify(rest, out, err, environment);
        if (command == "sign")
            return signCommand(rest, out);
        if (command == "implode")
            return implodeCommand(rest, out);
        return explodeCommand(rest, out);
    } catch (const UsageError& error) {
        err << "saverpack " << command << ": " << error.message << "\n"
            << std::string(help).substr(0, std::string(help).find('\n')) << "\n";
        return kExitUsage;
    } catch (const ToolError& error) {
        err << "saverpack: " << error.what() << "\n";
        return kExitFailed;
    } catch (const std::bad_alloc&) {
        err << "saverpack: out of memory\n";
        return kExitFailed;
    } catch (const std::exception& error) {
        err << "saverpack " << command << ": " << error.what() << "\n";
        return kExitFailed;
    }
}
