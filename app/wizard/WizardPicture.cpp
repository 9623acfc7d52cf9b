#include "WizardPicture.h"

#include "StdioFile.h"

#include "JpegErrors.h"
#include "Rtl.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <memory>

#include <jpeglib.h>

namespace wizard {
namespace {

struct TColour {
    double R = 0, G = 0, B = 0;
};

TColour Mix(const TColour& a, const TColour& b, double t)
{
    return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t};
}

const TColour kTop{222, 230, 247};
const TColour kBottom{142, 171, 229};
const TColour kNavy{20, 30, 110};

constexpr double kPi = 3.14159265358979323846;
constexpr double kDiscX = 47.5, kDiscY = 140, kDiscRadius = 38, kHoleRadius = 7, kHubRadius = 15;

// A filled ellipse turned by `angle` radians around its centre.
bool InEllipse(double x, double y, double cx, double cy, double rx, double ry, double angle)
{
    const double dx = x - cx, dy = y - cy;
    const double u = dx * std::cos(angle) + dy * std::sin(angle);
    const double v = -dx * std::sin(angle) + dy * std::cos(angle);
    return (u * u) / (rx * rx) + (v * v) / (ry * ry) <= 1.0;
}

// The quadrilateral band between two points, `thickness` high.
bool InBeam(double x, double y, double x0, double y0, double x1, double y1, double thickness)
{
    if (x < x0 || x > x1)
        return false;
    const double top = y0 + (y1 - y0) * (x - x0) / (x1 - x0);
    return y >= top && y <= top + thickness;
}

// A disc with a silvery sheen that turns with the angle and a faint rainbow.
bool DiscColour(double x, double y, TColour* colour)
{
    const double dx = x - kDiscX, dy = y - kDiscY;
    const double r = std::sqrt(dx * dx + dy * dy);
    if (r > kDiscRadius || r < kHoleRadius)
        return false;
    if (r > kDiscRadius - 1.2) {
        *colour = {130, 145, 175};
        return true;
    }
    if (r < kHubRadius) {
        *colour = r > kHubRadius - 1 ? TColour{170, 180, 200} : TColour{236, 240, 248};
        return true;
    }
    const double angle = std::atan2(dy, dx);
    const double sheen = 0.80 + 0.20 * std::cos(2 * angle - 0.6);
    const TColour silver{232 * sheen, 235 * sheen, 242 * sheen};
    const TColour rainbow{200 + 55 * std::cos(angle * 3), 200 + 55 * std::cos(angle * 3 + 2.1),
                          200 + 55 * std::cos(angle * 3 + 4.2)};
    *colour = Mix(silver, rainbow, 0.18 * (r - kHubRadius) / (kDiscRadius - kHubRadius));
    return true;
}

// Two beamed quavers.
bool InNotes(double x, double y)
{
    const double tilt = -0.35;
    if (InEllipse(x, y, 30, 335, 8, 5.5, tilt) || InEllipse(x, y, 64, 323, 8, 5.5, tilt))
        return true;
    if (x >= 36 && x <= 38.5 && y >= 268 && y <= 334)
        return true;
    if (x >= 70 && x <= 72.5 && y >= 256 && y <= 322)
        return true;
    return InBeam(x, y, 36, 268, 72.5, 256, 8);
}

// Three stripes at the foot: black, red, gold for German; blue, white, red
// for English.
bool InFootBand(double x, double y, TVariant variant, TColour* colour)
{
    if (y < 468 || y >= 486 || x < 17 || x >= 78)
        return false;
    const int stripe = static_cast<int>((y - 468) / 6);
    static const TColour german[3] = {{25, 25, 25}, {210, 20, 30}, {250, 200, 20}};
    static const TColour english[3] = {{30, 50, 140}, {250, 250, 250}, {200, 20, 40}};
    *colour = (variant == TVariant::German ? german : english)[stripe];
    return true;
}

TColour Shade(double x, double y, TVariant variant)
{
    TColour colour;
    if (DiscColour(x, y, &colour) || InFootBand(x, y, variant, &colour))
        return colour;
    if (InNotes(x, y))
        return kNavy;
    // A soft shine on the gradient, brightest to the upper left.
    const TColour base = Mix(kTop, kBottom, y / kHeight);
    const double glow = 0.5 + 0.5 * std::cos(std::min(1.0, std::hypot(x - 20, y - 60) / 260) * kPi);
    return Mix(base, {255, 255, 255}, 0.25 * glow);
}

std::uint8_t ToByte(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

struct TCompressDeleter {
    void operator()(jpeg_compress_struct* cinfo) const
    {
        jpeg_destroy_compress(cinfo);
        delete cinfo;
    }
};

// Runs libjpeg on an open file; see JpegErrors.h for what may live in this frame.
bool Compress(jpeg_compress_struct* cinfo, TJpegErrorManager* manager, std::FILE* file,
              const TRgbPicture* picture, int quality)
{
    if (setjmp(manager->Jump) != 0)
        return false;
    jpeg_create_compress(cinfo);
    jpeg_stdio_dest(cinfo, file);
    cinfo->image_width = static_cast<JDIMENSION>(picture->Width);
    cinfo->image_height = static_cast<JDIMENSION>(picture->Height);
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    jpeg_start_compress(cinfo, TRUE);
    const std::size_t stride = static_cast<std::size_t>(picture->Width) * 3;
    while (cinfo->next_scanline < cinfo->image_height) {
        // libjpeg's row type is not const, but compression only reads it.
        auto* row = const_cast<JSAMPLE*>(picture->Pixels.data() + stride * cinfo->next_scanline);
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

}  // namespace

TRgbPicture::TRgbPicture(int width, int height)
    : Width(width),
      Height(height),
      Pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3)
{}

void TRgbPicture::Fill(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    for (std::size_t i = 0; i + 2 < Pixels.size(); i += 3) {
        Pixels[i] = r;
        Pixels[i + 1] = g;
        Pixels[i + 2] = b;
    }
}

TRgbPicture DrawWizardPicture(TVariant variant)
{
    constexpr int kSamples = 4;  // per axis, for smooth edges
    TRgbPicture picture(kWidth, kHeight);
    auto* out = picture.Pixels.data();
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            TColour sum;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const TColour c = Shade(x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples, variant);
                    sum.R += c.R;
                    sum.G += c.G;
                    sum.B += c.B;
                }
            }
            constexpr double n = kSamples * kSamples;
            *out++ = ToByte(sum.R / n);
            *out++ = ToByte(sum.G / n);
            *out++ = ToByte(sum.B / n);
        }
    }
    return picture;
}

void WriteJpegFile(const std::string& path, const TRgbPicture& picture, int quality)
{
    util::TStdioFile file(std::fopen(path.c_str(), "wb"));
    if (!file)
        throw rtl::EFCreateError(rtl::FileCreateErrorMessage(path));

    TJpegErrorManager manager{};
    std::unique_ptr<jpeg_compress_struct, TCompressDeleter> cinfo(new jpeg_compress_struct{});
    cinfo->err = jpeg_std_error(&manager.Base);
    manager.Base.error_exit = OnJpegFatalError;
    if (!Compress(cinfo.get(), &manager, file.get(), &picture, quality))
        throw rtl::Exception("JPEG-Fehler in Datei " + path + ": " + manager.Message);
    if (std::fflush(file.get()) != 0 || std::ferror(file.get()))
        throw rtl::EInOutError("Schreibfehler in Datei " + path);
}

}  // namespace wizard
