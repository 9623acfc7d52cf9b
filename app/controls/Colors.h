#pragma once

// Colour values of the dialog and the gradient-colour routine.
//
// A TColor is a signed 32-bit value. A non-negative value is a COLORREF,
// 0x00BBGGRR with red in the low byte (the opposite of Qt's 0xAARRGGBB).
// A negative value names a system colour; its low byte is the Windows
// system-colour index, resolved through GetSysColor() from the current
// application palette.

#include <QRgb>

#include <cstdint>
#include <vector>

using TColor = int32_t;

// Bit that marks a system colour; OR it with a COLOR_* index.
constexpr TColor clSystemColor = INT32_MIN;

// Windows system-colour indices understood by GetSysColor().
enum : int {
    COLOR_SCROLLBAR = 0,
    COLOR_BACKGROUND = 1,
    COLOR_ACTIVECAPTION = 2,
    COLOR_INACTIVECAPTION = 3,
    COLOR_MENU = 4,
    COLOR_WINDOW = 5,
    COLOR_WINDOWFRAME = 6,
    COLOR_MENUTEXT = 7,
    COLOR_WINDOWTEXT = 8,
    COLOR_CAPTIONTEXT = 9,
    COLOR_ACTIVEBORDER = 10,
    COLOR_INACTIVEBORDER = 11,
    COLOR_APPWORKSPACE = 12,
    COLOR_HIGHLIGHT = 13,
    COLOR_HIGHLIGHTTEXT = 14,
    COLOR_BTNFACE = 15,
    COLOR_BTNSHADOW = 16,
    COLOR_GRAYTEXT = 17,
    COLOR_BTNTEXT = 18,
    COLOR_INACTIVECAPTIONTEXT = 19,
    COLOR_BTNHIGHLIGHT = 20,
    COLOR_3DDKSHADOW = 21,
    COLOR_3DLIGHT = 22,
    COLOR_INFOTEXT = 23,
    COLOR_INFOBK = 24,
    COLOR_HOTLIGHT = 26,
    COLOR_GRADIENTACTIVECAPTION = 27,
    COLOR_GRADIENTINACTIVECAPTION = 28,
    COLOR_MENUHILIGHT = 29,
    COLOR_MENUBAR = 30,
};

constexpr TColor clBlack = 0x000000;
constexpr TColor clNavy = 0x800000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBtnFace = clSystemColor | COLOR_BTNFACE;
constexpr TColor clWindow = clSystemColor | COLOR_WINDOW;
constexpr TColor clWindowText = clSystemColor | COLOR_WINDOWTEXT;
constexpr TColor clBtnText = clSystemColor | COLOR_BTNTEXT;
constexpr TColor clHighlight = clSystemColor | COLOR_HIGHLIGHT;

// The current colour of a Windows system-colour index as a COLORREF, taken
// from the application palette (e.g. COLOR_BTNFACE is QPalette::Button,
// COLOR_WINDOWTEXT is QPalette::WindowText, COLOR_WINDOW is QPalette::Base).
// An index without a colour gives 0.
uint32_t GetSysColor(int index);

// Builds a COLORREF; each argument is cut to its low byte.
TColor RGBToColor(int r, int g, int b);

// Resolves a system colour and returns a plain COLORREF (0x00BBGGRR).
TColor ResolveColor(TColor color);

// The colour as Qt's 0xAARRGGBB with alpha 255, a system colour resolved first.
QRgb ColorToRGB(TColor color);

// The colour at pixel row `row` of a gradient `height` rows high running
// through `stops` (the segment walk of the dialog; truncating, unlike the
// gradient control's rounding). The result is always a plain COLORREF.
// Beyond the cases the dialog uses: the row is clamped to 0 .. height - 1
// (a height below 1 counts as 1), one stop gives that stop resolved, no
// stops give black, and a segment of no length gives its first stop.
TColor GetGradientColor(const std::vector<TColor>& stops, int row, int height);
