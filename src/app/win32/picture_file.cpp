#include "app/win32/picture_file.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "base/texts.h"

namespace installer_win32 {

namespace {

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
bool decodeJpeg(const std::vector<unsigned char>& bytes, DecodedJpeg& image, JpegErrors& errors) {
    jpeg_decompress_struct decoder;
    decoder.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = leaveDecoder;
    errors.message[0] = '\0';
    if (setjmp(errors.escape)) {
        jpeg_destroy_decompress(&decoder);
        return false;
    }
    jpeg_create_decompress(&decoder);
    jpeg_mem_src(&decoder, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&decoder, TRUE);
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
        if (!decodeJpeg(bytes, image, errors)) {
            error = std::string(text::kJpegError) + errors.message;
            return nullptr;
        }
        UniqueBitmap bitmap = bitmapOf(image);
        if (!bitmap)
            error = std::string(text::kPictureTooLarge);
        return bitmap;
    }
    UniqueBitmap bitmap(static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                                                        LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
    if (!bitmap)
        error = std::string(text::kBitmapNotValid);
    return bitmap;
}

} // namespace installer_win32
