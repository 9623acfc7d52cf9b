// The wizard pictures shown at the dialog's left edge, drawn by us and
// written as JPEG with libjpeg: a soft blue gradient with a disc and two
// notes, and a small band at the foot that tells the language variants apart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wizard {

constexpr int kWidth = 95;
constexpr int kHeight = 510;

// A plain 8-bit RGB picture, rows top to bottom, no padding.
struct TRgbPicture {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Pixels;

    TRgbPicture() = default;
    TRgbPicture(int width, int height);
    void Fill(std::uint8_t r, std::uint8_t g, std::uint8_t b);
};

enum class TVariant { German, English };

TRgbPicture DrawWizardPicture(TVariant variant);

// Writes `picture` as a baseline JPEG. Raises rtl::EFCreateError when the
// file cannot be created and rtl::Exception with libjpeg's message when
// compressing fails.
void WriteJpegFile(const std::string& path, const TRgbPicture& picture, int quality = 92);

}  // namespace wizard
