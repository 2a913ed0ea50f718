#include "payload/compression/implode_library.h"

#include <algorithm>
#include <cstring>

#include "base/texts.h"
#include "base/trace.h"

namespace {

// Error numbers of a failed load; only traced, callers see usable() alone.
constexpr platform::WinError kLibraryFileMissing = 5;
constexpr platform::WinError kExportMissing = 6;

// Expanded bytes are written to the file in pieces of this size.
constexpr std::uint64_t kOutputPiece = 256 * 1024;

} // namespace

TCompressor::TCompressor(platform::Platform& platform, const std::string& folder,
                         ExplodeWorkArea& workArea)
    : platform_(platform), workArea_(workArea) {
    trace("TCompressor.Create", folder);
    platform::WinError error = platform::kErrorNone;
    const std::string libraryPath = folder.empty() ? std::string() : folder + kImplodeLibraryName;
    if (libraryPath.empty() || !platform.files.fileExists(libraryPath))
        error = kLibraryFileMissing;
    trace("libraryPath: ", libraryPath);
    if (error == platform::kErrorNone)
        library_ = platform.libraries.load(libraryPath, error);
    if (error == platform::kErrorNone && library_) {
        usable_ = true;
        implode_ = library_->find("_implode");
        explode_ = reinterpret_cast<ExplodeFunction>(library_->find("_explode"));
        crc32_ = library_->find("_crc32");
        if (!implode_ || !explode_ || !crc32_)
            error = kExportMissing;
    }
    if (error != platform::kErrorNone) {
        trace("TCompressor.Create failed: ", static_cast<std::int64_t>(error));
        library_.reset();
        usable_ = false;
    }
    trace("TCompressor.Create");
}

TCompressor::~TCompressor() = default;

unsigned int TCompressor::readCallback(char* buffer, unsigned int* size, void* param) {
    auto* self = static_cast<TCompressor*>(param);
    if (!self || !buffer || !size)
        return 0;
    const std::size_t left = self->inputSize_ - self->inputPosition_;
    const std::size_t count = std::min<std::size_t>(*size, left);
    if (count > 0)
        std::memcpy(buffer, self->input_ + self->inputPosition_, count);
    self->inputPosition_ += count;
    return static_cast<unsigned int>(count);
}

void TCompressor::writeCallback(char* buffer, unsigned int* size, void* param) {
    auto* self = static_cast<TCompressor*>(param);
    if (!self || !buffer || !size || !self->output_)
        return;
    // A failed write is not reported here: the size check after the
    // expansion sees the short file.
    const auto count =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(*size, self->outputLeft_));
    if (count == 0)
        return;
    if (self->pending_.size() + count > self->pending_.capacity())
        self->flushOutput();
    self->pending_.insert(self->pending_.end(), buffer, buffer + count);
    self->outputLeft_ -= count;
}

void TCompressor::flushOutput() {
    if (pending_.empty())
        return;
    std::uint32_t written = 0;
    output_->write(pending_.data(), static_cast<std::uint32_t>(pending_.size()), written);
    pending_.clear();
}

ResultCode TCompressor::Expand(const std::string& target, const std::uint8_t* buffer,
                               std::size_t count, std::uint64_t outputLimit) {
    outputLeft_ = outputLimit;
    input_ = buffer;
    inputSize_ = buffer ? count : 0;
    inputPosition_ = 0;
    platform::WinError error = platform::kErrorNone;
    output_ = platform_.files.openFile(target, platform::OpenMode::CreateAlways, error);
    if (!output_) {
        platform_.ui.messageDialog(
            platform::DialogKind::Error,
            std::string(text::kZipError) + std::string(text::kParagraph) +
                platform_.system.errorMessageText(static_cast<std::int32_t>(error)),
            {platform::DialogButton::Abort});
        return static_cast<ResultCode>(error);
    }
    pending_.clear();
    pending_.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(outputLimit, kOutputPiece)));
    if (explode_)
        explode_(&TCompressor::readCallback, &TCompressor::writeCallback, workArea_.data(), this);
    flushOutput();
    output_.reset();
    input_ = nullptr;
    inputSize_ = inputPosition_ = 0;
    return result::kOk;
}
