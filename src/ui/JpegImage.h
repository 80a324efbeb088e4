// Decoding a JPEG file into an image with libjpeg, reporting any failure as a message instead of
// letting the library end the process.
#pragma once

#include <QImage>
#include <QString>

namespace quillon::ui {

struct DecodedImage {
    QImage image;   // null on failure
    QString error;  // names the file and the reason when the image is null
};

DecodedImage DecodeJpegFile(const QString& path);
DecodedImage DecodeJpeg(const unsigned char* data, std::size_t size);

}  // namespace quillon::ui
