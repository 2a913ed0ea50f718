#include "app/win32/picture_file.h"

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "base/texts.h"

namespace installer_win32 {

namespace {

// The most pixels a preview may have: far beyond any preview, and small
// enough that the decoded picture fits a 32-bit program's memory.
constexpr std::uint64_t kMaxPicturePixels = 32ull << 20;

bool tooManyPixels(std::uint64_t width, std::uint64_t height) {
    return width * height > kMaxPicturePixels;
}

std::uint32_t littleEndian(const std::vector<unsigned char>& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
    return value;
}

// Whether the size a bitmap file gives in its header is beyond the limit;
// a cut header is left to the bitmap reader.
bool bitmapTooLarge(const std::vector<unsigned char>& bytes) {
    constexpr std::size_t kInfoAt = 14; // behind the file header
    if (bytes.size() < kInfoAt + 8 || bytes[0] != 'B' || bytes[1] != 'M')
        return false;
    const std::uint32_t infoSize = littleEndian(bytes, kInfoAt, 4);
    if (infoSize == 12) // the OS/2 header with 16-bit sizes
        return tooManyPixels(littleEndian(bytes, kInfoAt + 4, 2),
                             littleEndian(bytes, kInfoAt + 6, 2));
    if (bytes.size() < kInfoAt + 12)
        return false;
    const auto width = static_cast<std::int32_t>(littleEndian(bytes, kInfoAt + 4, 4));
    const auto height = static_cast<std::int32_t>(littleEndian(bytes, kInfoAt + 8, 4));
    const auto magnitude = [](std::int32_t value) {
        return static_cast<std::uint64_t>(value < 0 ? -static_cast<std::int64_t>(value) : value);
    };
    return tooManyPixels(magnitude(width), magnitude(height));
}

bool isJpeg(const std::vector<unsigned char>& bytes) {
    return bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8;
}

// libjpeg reports a fault by calling error_exit, which must not return: it
// jumps back to the decoder with the library's message.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf escape;
    char message[JMSG_LENGTH_MAX];
};

// Warnings of a damaged but readable file (a cut end, for one) are not
// written anywhere: what can be decoded is shown.
void ignoreWarning(j_common_ptr) {}

void leaveDecoder(j_common_ptr decoder) {
    auto* errors = reinterpret_cast<JpegErrors*>(decoder->err);
    (*decoder->err->format_message)(decoder, errors->message);
    std::longjmp(errors->escape, 1);
}

struct DecodedJpeg {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels; // rows of blue, green, red, top row first
};

// Nothing with a destructor lives between setjmp and a jump back to it: the
// pixel buffer belongs to the caller.
bool decodeJpeg(const std::vector<unsigned char>& bytes, DecodedJpeg& image, JpegErrors& errors,
                bool& tooLarge) {
    jpeg_decompress_struct decoder;
    decoder.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = leaveDecoder;
    errors.manager.output_message = ignoreWarning;
    errors.message[0] = '\0';
    if (setjmp(errors.escape)) {
        jpeg_destroy_decompress(&decoder);
        return false;
    }
    jpeg_create_decompress(&decoder);
    jpeg_mem_src(&decoder, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&decoder, TRUE);
    if (tooManyPixels(decoder.image_width, decoder.image_height)) {
        tooLarge = true;
        jpeg_destroy_decompress(&decoder);
        return false;
    }
    decoder.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&decoder);
    image.width = static_cast<int>(decoder.output_width);
    image.height = static_cast<int>(decoder.output_height);
    const std::size_t rowSize = static_cast<std::size_t>(image.width) * 3;
    image.pixels.resize(rowSize * static_cast<std::size_t>(image.height));
    while (decoder.output_scanline < decoder.output_height) {
        JSAMPROW row = image.pixels.data() + rowSize * decoder.output_scanline;
        jpeg_read_scanlines(&decoder, &row, 1);
    }
    jpeg_finish_decompress(&decoder);
    jpeg_destroy_decompress(&decoder);
    return true;
}

// A top-down 24-bit DIB section holding the decoded rows.
UniqueBitmap bitmapOf(const DecodedJpeg& image) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits)
        return nullptr;
    const std::size_t rowSize = static_cast<std::size_t>(image.width) * 3;
    const std::size_t stride = (rowSize + 3) & ~static_cast<std::size_t>(3);
    auto* target = static_cast<unsigned char*>(bits);
    for (int y = 0; y < image.height; ++y)
        std::memcpy(target + stride * static_cast<std::size_t>(y),
                    image.pixels.data() + rowSize * static_cast<std::size_t>(y), rowSize);
    GdiFlush();
    return bitmap;
}

} // namespace

bool readWholeFile(const std::string& path, std::vector<unsigned char>& bytes) {
    const UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return false;
    const DWORD size = GetFileSize(file.get(), nullptr);
    if (size == INVALID_FILE_SIZE)
        return false;
    bytes.resize(size);
    DWORD read = 0;
    return size == 0 || (ReadFile(file.get(), bytes.data(), size, &read, nullptr) && read == size);
}

UniqueBitmap loadPictureFile(const std::string& path, std::string& error) {
    std::vector<unsigned char> bytes;
    if (!readWholeFile(path, bytes)) {
        error = std::string(text::kPictureNotReadable) + path;
        return nullptr;
    }
    if (isJpeg(bytes)) {
        DecodedJpeg image;
        JpegErrors errors;
        bool tooLarge = false;
        if (!decodeJpeg(bytes, image, errors, tooLarge)) {
            error = tooLarge ? std::string(text::kPictureTooLarge)
                             : std::string(text::kJpegError) + errors.message;
            return nullptr;
        }
        UniqueBitmap bitmap = bitmapOf(image);
        if (!bitmap)
            error = std::string(text::kPictureTooLarge);
        return bitmap;
    }
    if (bitmapTooLarge(bytes)) {
        error = std::string(text::kPictureTooLarge);
        return nullptr;
    }
    UniqueBitmap bitmap(static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                                                        LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
    if (!bitmap)
        error = std::string(text::kBitmapNotValid);
    return bitmap;
}

} // namespace installer_win32
