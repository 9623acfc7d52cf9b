#include "ButtonGlyphs.h"

#include <QPixmap>

#include <cstdlib>

namespace {

// What a pixel of a glyph is made of; the frame decides the colour.
enum class TInk { None, Green, White, Red, Rim };

QRgb InkColor(TInk ink, bool disabled)
{
    switch (ink) {
    case TInk::Green: return disabled ? qRgb(150, 150, 150) : qRgb(0, 150, 0);
    case TInk::White: return disabled ? qRgb(235, 235, 235) : qRgb(255, 255, 255);
    case TInk::Red: return disabled ? qRgb(100, 100, 100) : qRgb(220, 0, 0);
    case TInk::Rim: return disabled ? qRgb(205, 205, 205) : qRgb(200, 200, 200);
    case TInk::None: break;
    }
    return qRgba(0, 0, 0, 0);
}

// A right-pointing arrow: a shaft on rows 7-8 from column 3, and a head from
// column 8 to 12 narrowing to a point of two rows.
bool OnRightArrow(int x, int y)
{
    if (x >= 3 && x < 8 && (y == 7 || y == 8))
        return true;
    if (x >= 8 && x <= 12) {
        const int spread = 12 - x;
        return y >= 7 - spread && y <= 8 + spread;
    }
    return false;
}

bool InSquare(int x, int y) { return x >= 1 && x <= 14 && y >= 1 && y <= 14; }

TInk GlyphInk(TButtonGlyph glyph, int x, int y)
{
    switch (glyph) {
    case TButtonGlyph::Start:
        if (!InSquare(x, y))
            return TInk::None;
        return OnRightArrow(x, y) ? TInk::White : TInk::Green;
    case TButtonGlyph::Abort: {
        if (!InSquare(x, y))
            return TInk::None;
        const bool inCross =
            x >= 3 && x <= 12 && y >= 3 && y <= 12 && (std::abs(x - y) <= 1 || std::abs(x + y - 15) <= 1);
        return inCross ? TInk::Red : TInk::White;
    }
    case TButtonGlyph::Close:
        if (!InSquare(x, y))
            return TInk::Rim;
        return OnRightArrow(kGlyphSize - 1 - x, y) ? TInk::White : TInk::Green;
    }
    return TInk::None;
}

}  // namespace

QImage ButtonGlyphFrame(TButtonGlyph glyph, bool disabled)
{
    QImage frame(kGlyphSize, kGlyphSize, QImage::Format_ARGB32);
    for (int y = 0; y < kGlyphSize; ++y)
        for (int x = 0; x < kGlyphSize; ++x)
            frame.setPixel(x, y, InkColor(GlyphInk(glyph, x, y), disabled));
    return frame;
}

QIcon ButtonGlyphIcon(TButtonGlyph glyph)
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(ButtonGlyphFrame(glyph, false)), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(ButtonGlyphFrame(glyph, true)), QIcon::Disabled);
    return icon;
}
