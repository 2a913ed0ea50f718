// Feeds arbitrary bytes to the SWF reader as a preview movie, read the way
// the preview panel reads it: the signature, then an uncompressed movie in
// place and a compressed one through its expansion in the panel's temporary
// folder, twice, as a panel that gets a second movie. Nothing may crash,
// hang, throw, take a huge amount of memory, or write anywhere but the
// temporary folder.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "fakes/fake_platform.h"
#include "flash/swf_reader.h"

namespace {

const std::string kLocal = "C:\\Local";
const std::string kMovie = "C:\\Movies\\preview.swf";
const std::string kTempFolder = kLocal + "\\Vellarmont\\FlashPanel1\\";

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

ResultCode readLikeThePanel(platform::Platform& platform, SwfMovieInfo& movie) {
    ResultCode code = readSWFFileFormatType(platform, kMovie, movie);
    if (code != result::kOk)
        return code;
    if (movie.swfSignature == kSwfUncompressedSignature)
        return readSWFFile_FWS_Format(platform, kMovie, movie);
    code = inflateSWFFileToTempFile(platform, kMovie, movie);
    if (code != result::kOk)
        return code;
    return readSWFFile_FWS_Format(platform, movie.swfTempFolder + kExpandedMovieName, movie);
}

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fake::FakePlatform fakes;
    platform::Platform platform = fakes.platform();
    fakes.system.setSpecialFolder(28, kLocal); // the local application data
    fakes.files.addFolder(kLocal);
    fakes.files.addFile(kMovie, std::string(reinterpret_cast<const char*>(data), size));
    std::set<std::string> allowed;
    for (const std::string& path : fakes.files.allPaths())
        allowed.insert(path);
    for (const std::string& path :
         {kLocal + "\\Vellarmont", kTempFolder.substr(0, kTempFolder.size() - 1),
          kTempFolder + kCompressedSegmentName, kTempFolder + kExpandedMovieName})
        allowed.insert(upper(path));

    SwfMovieInfo movie;
    for (int run = 0; run < 2; ++run) {
        readLikeThePanel(platform, movie);
        check(movie.swfTempFolder.empty() || movie.swfTempFolder == kTempFolder);
        check(movie.bgRed >= 0 && movie.bgRed <= 255 && movie.bgBlue >= 0 && movie.bgBlue <= 255);
        check(movie.allowScale >= kScriptFlagOtherValue && movie.allowScale <= kScriptFlagTrue);
        check(movie.fullScreen >= kScriptFlagOtherValue && movie.fullScreen <= kScriptFlagTrue);
        check(movie.frameWidth >= 0 && movie.frameHeight >= 0);
    }
    for (const std::string& path : fakes.files.allPaths())
        check(allowed.count(path) == 1); // written outside the temporary folder
    return 0;
}
