// Decoding a JPEG picture with libjpeg called directly (the calibration
// target picture).  A picture that libjpeg can only show in part (cut short,
// damaged data) counts as not decodable: the window then shows a clear
// fallback instead of half a picture filled with grey.
#pragma once

#include <QImage>

#include <string>
#include <string_view>

namespace grittor {

// The picture in `bytes` as a 32-bit image; a null image with `error` set
// when it cannot be decoded whole.
QImage DecodeJpeg(std::string_view bytes, std::string &error);
// The same from a file.
QImage DecodeJpegFile(const std::string &path, std::string &error);

} // namespace grittor
