#include "flash/flash_panel.h"

#include <exception>

#include "base/trace.h"
#include "flash/player_update.h"
#include "platform/messaging.h"
#include "system/file_operations.h"

namespace {

constexpr std::uint32_t kNullMessage = 0; // WM_NULL

std::string upperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

} // namespace

TFlashPanel::TFlashPanel(platform::Platform& platform, PlayerVersionCache& playerVersionCache,
                         std::unique_ptr<platform::PanelWindow> window)
    : platform_(platform), playerVersionCache_(playerVersionCache), window_(std::move(window)) {
    try {
        window_->fillParent();
        window_->setOuterBevel(platform::PanelBevel::None);
        window_->setBevelWidth(1);
        window_->setColor(kPanelColorWhite);
    } catch (const std::exception& error) {
        trace("TFlashPanel", error.what());
    }
}

TFlashPanel::~TFlashPanel() {
    // The movie's temporary folder goes whatever the window raised.
    try {
        window_->setSize(0, 0);
    } catch (const std::exception& error) {
        trace("~TFlashPanel", error.what());
    }
    try {
        if (!movie.swfTempFolder.empty())
            deleteFolderTree(platform_.files, movie.swfTempFolder);
    } catch (const std::exception& error) {
        trace("~TFlashPanel", error.what());
    }
    flashPlayer.reset();
}

ResultCode TFlashPanel::readMovie() {
    ResultCode code = readSWFFileFormatType(platform_, swfFilename, movie);
    if (code != result::kOk)
        return code;
    if (movie.swfSignature == kSwfUncompressedSignature)
        return readSWFFile_FWS_Format(platform_, swfFilename, movie);
    if (movie.swfSignature == kSwfCompressedSignature) {
        code = inflateSWFFileToTempFile(platform_, swfFilename, movie);
        if (code == result::kOk)
            code =
                readSWFFile_FWS_Format(platform_, movie.swfTempFolder + kExpandedMovieName, movie);
    }
    return code;
}

ResultCode TFlashPanel::playMovie(const std::string& path) {
    trace("playMovie", path);
    if (path.empty() || path == swfFilename)
        return result::kOk;
    swfFilename = path;
    ResultCode code = result::kOk;
    try {
        code = readMovie();
        if (code == result::kOk)
            code = checkPlayerVersion();
        if (code == result::kOk)
            stopMovie();
        if (code == result::kOk)
            code = createFlashPlayer();
        if (code == result::kOk)
            loadAndPlayMovie();
    } catch (const std::exception& error) {
        // The player refused to load or start the movie: the caller installs
        // without the preview.
        trace("playMovie", error.what());
        code = result::kMovieNotPlayed;
    }
    trace("playMovie", code);
    return code;
}

ResultCode TFlashPanel::checkPlayerVersion() {
    const FlashDetection installed =
        getFlashPlayerVersion(platform_, playerVersionCache_, kMoviePlayerVersionAttempts);
    if (!installed.found)
        return result::kFlashInstallerMissing;
    if (movie.swfVersion > installed.version.major)
        return result::kMovieNewerThanPlayer;
    return result::kOk;
}

void TFlashPanel::stopMovie() {
    if (!flashPlayer)
        return;
    try {
        flashPlayer->StopPlay();
    } catch (const std::exception& error) {
        trace("stopMovie", error.what());
    }
    flashPlayer.reset();
    // One message of the application is handled; the posted null message
    // makes sure there is one, so the wait cannot last forever.
    platform_.messaging.postMessage(platform::kNoWindow, kNullMessage, 0, 0);
    platform_.ui.handleNextMessage();
}

ResultCode TFlashPanel::createFlashPlayer() {
    for (int attempt = 0; attempt < kPlayerCreationAttempts && !flashPlayer; ++attempt) {
        try {
            flashPlayer = TShockwaveFlash::create(platform_.players, window_->handle(),
                                                  window_->width(), window_->height());
            if (!flashPlayer)
                continue;
            // An instance that is not in the panel ends the attempts all the
            // same; its settings are left out, as after any failed step.
            if (!flashPlayer->placed())
                throw EOleError("the player could not be placed in the panel");
            flashPlayer->OnFSCommand = [this](const std::string& command,
                                              const std::string& arguments) {
                handleFSCommand(command, arguments);
            };
            flashPlayer->setScaleMode(0);
            flashPlayer->SetVariable("Align", "AlClient");
            flashPlayer->setWMode("Opaque");
            flashPlayer->setMenu(false);
        } catch (const std::exception& error) {
            trace("createFlashPlayer", error.what());
        }
    }
    return flashPlayer ? result::kOk : result::kNoPlayerInstance;
}

void TFlashPanel::loadAndPlayMovie() {
    flashPlayer->DoVerb(platform::kVerbHide);
    flashPlayer->setMovie(swfFilename);
    flashPlayer->Play();
    flashPlayer->DoVerb(platform::kVerbShow);
}

void TFlashPanel::refreshMovie() {
    try {
        if (window_->visible() && flashPlayer)
            window_->invalidate();
    } catch (const std::exception& error) {
        trace("refreshMovie", error.what());
    }
}

void TFlashPanel::closeMovie() {
    stopMovie();
    window_->setColor(kPanelColorBlack);
    swfFilename.clear();
}

void TFlashPanel::handleFSCommand(const std::string& command, const std::string& arguments) {
    const std::string name = upperAscii(command);
    const std::string value = upperAscii(arguments);
    trace("handleFSCommand", name + " " + value);
    if (name == "ALLOWSCALE" && enableAllowScale)
        movie.allowScale = value.compare(0, 4, "TRUE") == 0 ? 1 : 0;
}
