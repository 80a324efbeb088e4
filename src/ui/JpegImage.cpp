#include "ui/JpegImage.h"

#include <csetjmp>
#include <cstdio>
#include <string>

#include <jpeglib.h>

#include "core/FileIo.h"

namespace quillon::ui {

namespace {

// libjpeg's default error handler ends the process; this one jumps back into the decoder with
// the library's message kept.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr info)
{
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->jump, 1);
}

void OutputMessage(j_common_ptr) {}  // warnings about damaged data are not printed

// Owns the decompressor from creation to destruction.
class Decompressor {
public:
    explicit Decompressor(ErrorManager& errors)
    {
        info.err = jpeg_std_error(&errors.base);
        errors.base.error_exit = ErrorExit;
        errors.base.output_message = OutputMessage;
        errors.message[0] = '\0';
        jpeg_create_decompress(&info);
    }
    ~Decompressor() { jpeg_destroy_decompress(&info); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    jpeg_decompress_struct info{};
};

// Holds the setjmp: nothing with a destructor lives in this frame, so the jump back from the
// library skips no clean-up. The image lives in the caller's frame.
bool Decode(jpeg_decompress_struct& info, ErrorManager& errors, const unsigned char* data,
            unsigned long size, QImage& image)
{
    if (setjmp(errors.jump)) return false;
    jpeg_mem_src(&info, data, size);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3 || info.output_width > 16384 || info.output_height > 16384) {
        std::snprintf(errors.message, sizeof errors.message, "unsupported picture of %ux%u pixels",
                      info.output_width, info.output_height);
        return false;
    }
    image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height), QImage::Format_RGB888);
    if (image.isNull()) {
        std::snprintf(errors.message, sizeof errors.message, "not enough memory for the picture");
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
}

}  // namespace

DecodedImage DecodeJpeg(const unsigned char* data, std::size_t size)
{
    DecodedImage result;
    if (size == 0) {
        result.error = QStringLiteral("the file is empty");
        return result;
    }
    ErrorManager errors;
    Decompressor decompressor(errors);
    QImage image;
    if (!Decode(decompressor.info, errors, data, static_cast<unsigned long>(size), image)) {
        result.error = QString::fromLocal8Bit(errors.message);
        return result;
    }
    result.image = std::move(image);
    return result;
}

DecodedImage DecodeJpegFile(const QString& path)
{
    std::string contents;
    const Failure status = ReadWholeFile(path.toStdString(), contents);
    if (status.Failed()) return {QImage(), QString::fromStdString(status.words)};
    DecodedImage decoded = DecodeJpeg(reinterpret_cast<const unsigned char*>(contents.data()), contents.size());
    if (decoded.image.isNull())
        decoded.error = QStringLiteral("Cannot show the picture %1: %2").arg(path, decoded.error);
    return decoded;
}

}  // namespace quillon::ui
