#include "JpegImage.h"

#include "StdioFile.h"

#include "Rtl.h"
#include "wizard/JpegErrors.h"

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace {

// Warnings stay quiet, except a file that ends early: libjpeg would pad the
// picture with grey, we call the file damaged.
void OnMessage(j_common_ptr cinfo, int level)
{
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF)
        OnJpegFatalError(cinfo);
}

// jpeg_destroy_decompress also copes with a structure that was never
// created, as long as it is zeroed.
struct TDecompressDeleter {
    void operator()(jpeg_decompress_struct* cinfo) const
    {
        jpeg_destroy_decompress(cinfo);
        delete cinfo;
    }
};

struct TDecoded {
    int Width = 0;
    int Height = 0;
    int Components = 0;  // 3 (RGB) or 4 (CMYK as Adobe writes it, inverted)
    std::vector<unsigned char> Pixels;
};

// Runs libjpeg on an open file. Only trivially destructible objects live in
// this frame, so the long jump from OnJpegFatalError skips no destructor.
bool Decode(jpeg_decompress_struct* cinfo, TJpegErrorManager* manager, std::FILE* file, TDecoded* out)
{
    if (setjmp(manager->Jump) != 0)
        return false;
    jpeg_create_decompress(cinfo);
    jpeg_stdio_src(cinfo, file);
    jpeg_read_header(cinfo, TRUE);
    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(cinfo);

    out->Width = static_cast<int>(cinfo->output_width);
    out->Height = static_cast<int>(cinfo->output_height);
    out->Components = cinfo->output_components;
    const std::size_t stride =
        static_cast<std::size_t>(out->Width) * static_cast<std::size_t>(out->Components);
    out->Pixels.resize(stride * static_cast<std::size_t>(out->Height));
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = out->Pixels.data() + stride * cinfo->output_scanline;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

QImage ToImage(const TDecoded& decoded)
{
    QImage image(decoded.Width, decoded.Height, QImage::Format_RGB32);
    const unsigned char* p = decoded.Pixels.data();
    for (int y = 0; y < decoded.Height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < decoded.Width; ++x, p += decoded.Components) {
            if (decoded.Components == 4) {
                // Adobe's CMYK JPEGs store the inks inverted: the value is the paper left.
                const int k = p[3];
                line[x] = qRgb(p[0] * k / 255, p[1] * k / 255, p[2] * k / 255);
            } else {
                line[x] = qRgb(p[0], p[1], p[2]);
            }
        }
    }
    return image;
}

}  // namespace

QImage LoadJpegFile(const std::string& path)
{
    util::TStdioFile file(std::fopen(path.c_str(), "rb"));
    if (!file)
        throw rtl::EFOpenError(rtl::FileOpenErrorMessage(path));

    TJpegErrorManager manager{};
    std::unique_ptr<jpeg_decompress_struct, TDecompressDeleter> cinfo(new jpeg_decompress_struct{});
    cinfo->err = jpeg_std_error(&manager.Base);
    manager.Base.error_exit = OnJpegFatalError;
    manager.Base.emit_message = OnMessage;

    TDecoded decoded;
    if (!Decode(cinfo.get(), &manager, file.get(), &decoded))
        throw rtl::Exception("JPEG-Fehler in Datei " + path + ": " + manager.Message);
    return ToImage(decoded);
}
