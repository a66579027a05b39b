#include "service/JpegDecoder.h"

#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <iterator>

#include <jpeglib.h>

namespace grittor {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return:
// it jumps back to the decoder.  Warnings (corrupt or missing data that
// libjpeg would paper over) are counted and make the decoding fail too.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->back, 1);
}

void OnMessage(j_common_ptr cinfo, int level)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    if (level < 0) { // a warning
        if (err->pub.num_warnings == 0)
            (*cinfo->err->format_message)(cinfo, err->message);
        ++err->pub.num_warnings;
    }
}

// Everything that holds state across the longjmp lives outside the function
// that calls setjmp, so no automatic variable of it is changed after setjmp.
struct Decoder {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    QImage image;

    bool Run(std::string_view bytes, std::string &error)
    {
        cinfo.err = jpeg_std_error(&err.pub);
        err.pub.error_exit = OnError;
        err.pub.emit_message = OnMessage;
        err.message[0] = '\0';
        if (setjmp(err.back)) {
            error = std::string("not a readable JPEG picture: ") + err.message;
            jpeg_destroy_decompress(&cinfo);
            image = QImage();
            return false;
        }
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(bytes.data()),
                     static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = JCS_RGB;
        jpeg_start_decompress(&cinfo);
        if (cinfo.output_components != 3 || cinfo.output_width > 20000 || cinfo.output_height > 20000) {
            error = "not a picture this program shows";
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        image = QImage(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                       QImage::Format_RGB888);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = image.scanLine(static_cast<int>(cinfo.output_scanline));
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        const bool damaged = err.pub.num_warnings > 0;
        jpeg_destroy_decompress(&cinfo);
        if (damaged) {
            error = std::string("the picture is damaged: ") + err.message;
            image = QImage();
            return false;
        }
        return true;
    }
};

} // namespace

QImage DecodeJpeg(std::string_view bytes, std::string &error)
{
    if (bytes.empty()) {
        error = "the picture is empty";
        return {};
    }
    Decoder d;
    if (!d.Run(bytes, error))
        return {};
    return d.image.convertToFormat(QImage::Format_RGB32);
}

QImage DecodeJpegFile(const std::string &path, std::string &error)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        error = "cannot read " + path;
        return {};
    }
    const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    return DecodeJpeg(bytes, error);
}

} // namespace grittor
