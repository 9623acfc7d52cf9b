#include "Colors.h"

#include <QGuiApplication>
#include <QPalette>

#include <algorithm>
#include <cmath>

namespace {

struct SysColorRole {
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// Indices 0 .. 30; index 25 has no colour.
bool sysColorRole(int index, SysColorRole& out)
{
    using P = QPalette;
    switch (index) {
    case COLOR_SCROLLBAR: out = {P::Active, P::Button}; return true;
    case COLOR_BACKGROUND: out = {P::Active, P::Dark}; return true;
    case COLOR_ACTIVECAPTION: out = {P::Active, P::Highlight}; return true;
    case COLOR_INACTIVECAPTION: out = {P::Active, P::Mid}; return true;
    case COLOR_MENU: out = {P::Active, P::Window}; return true;
    case COLOR_WINDOW: out = {P::Active, P::Base}; return true;
    case COLOR_WINDOWFRAME: out = {P::Active, P::Shadow}; return true;
    case COLOR_MENUTEXT: out = {P::Active, P::WindowText}; return true;
    case COLOR_WINDOWTEXT: out = {P::Active, P::WindowText}; return true;
    case COLOR_CAPTIONTEXT: out = {P::Active, P::HighlightedText}; return true;
    case COLOR_ACTIVEBORDER: out = {P::Active, P::Window}; return true;
    case COLOR_INACTIVEBORDER: out = {P::Active, P::Window}; return true;
    case COLOR_APPWORKSPACE: out = {P::Active, P::Dark}; return true;
    case COLOR_HIGHLIGHT: out = {P::Active, P::Highlight}; return true;
    case COLOR_HIGHLIGHTTEXT: out = {P::Active, P::HighlightedText}; return true;
    case COLOR_BTNFACE: out = {P::Active, P::Button}; return true;
    case COLOR_BTNSHADOW: out = {P::Active, P::Dark}; return true;
    case COLOR_GRAYTEXT: out = {P::Disabled, P::Text}; return true;
    case COLOR_BTNTEXT: out = {P::Active, P::ButtonText}; return true;
    case COLOR_INACTIVECAPTIONTEXT: out = {P::Disabled, P::WindowText}; return true;
    case COLOR_BTNHIGHLIGHT: out = {P::Active, P::Light}; return true;
    case COLOR_3DDKSHADOW: out = {P::Active, P::Shadow}; return true;
    case COLOR_3DLIGHT: out = {P::Active, P::Midlight}; return true;
    case COLOR_INFOTEXT: out = {P::Active, P::ToolTipText}; return true;
    case COLOR_INFOBK: out = {P::Active, P::ToolTipBase}; return true;
    case COLOR_HOTLIGHT: out = {P::Active, P::Link}; return true;
    case COLOR_GRADIENTACTIVECAPTION: out = {P::Active, P::Highlight}; return true;
    case COLOR_GRADIENTINACTIVECAPTION: out = {P::Active, P::Mid}; return true;
    case COLOR_MENUHILIGHT: out = {P::Active, P::Highlight}; return true;
    case COLOR_MENUBAR: out = {P::Active, P::Window}; return true;
    default: return false;
    }
}

int redOf(TColor c) { return c & 0xFF; }
int greenOf(TColor c) { return (c >> 8) & 0xFF; }
int blueOf(TColor c) { return (c >> 16) & 0xFF; }

// Trunc(a + (b - a) * t), evaluated in extended precision.
int walkChannel(int a, int b, double t)
{
    const long double v =
        static_cast<long double>(a) + static_cast<long double>(b - a) * static_cast<long double>(t);
    return static_cast<int>(v);
}

}  // namespace

uint32_t GetSysColor(int index)
{
    SysColorRole r{};
    if (!sysColorRole(index, r))
        return 0;
    const QColor c = QGuiApplication::palette().color(r.group, r.role);
    return static_cast<uint32_t>(RGBToColor(c.red(), c.green(), c.blue()));
}

TColor RGBToColor(int r, int g, int b) { return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16); }

TColor ResolveColor(TColor color)
{
    if (color < 0)
        return static_cast<TColor>(GetSysColor(color & 0xFF));
    return color & 0xFFFFFF;
}

QRgb ColorToRGB(TColor color)
{
    const TColor c = ResolveColor(color);
    return qRgb(redOf(c), greenOf(c), blueOf(c));
}

TColor GetGradientColor(const std::vector<TColor>& stops, int row, int height)
{
    if (stops.empty())
        return 0;
    if (stops.size() == 1)
        return ResolveColor(stops.front());

    std::vector<TColor> rgb(stops.size());
    std::transform(stops.begin(), stops.end(), rgb.begin(), ResolveColor);

    height = std::max(height, 1);
    row = std::clamp(row, 0, height - 1);

    const int segments = static_cast<int>(rgb.size()) - 1;
    const int len = static_cast<int>(
        std::nearbyint(static_cast<long double>(height) / static_cast<long double>(segments)));

    for (int k = 0; k < segments; ++k) {
        const int n = (k == segments - 1) ? height - k * len - 1 : len;
        const int first = k * len;
        if (row < first || row > first + n)
            continue;
        const int j = row - first;
        // A segment of no length is a single row in its first stop's colour.
        const double t = n > 0 ? static_cast<double>(j) / static_cast<double>(n) : 0.0;
        const TColor a = rgb[static_cast<size_t>(k)];
        const TColor b = rgb[static_cast<size_t>(k) + 1];
        return RGBToColor(walkChannel(redOf(a), redOf(b), t), walkChannel(greenOf(a), greenOf(b), t),
                          walkChannel(blueOf(a), blueOf(b), t));
    }
    // Every row 0 .. height - 1 lies in some segment; kept for safety.
    return rgb.back();
}
