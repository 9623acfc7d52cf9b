#include "JvGradient.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// Round half to even of a value computed in extended precision.
int roundEven(long double v) { return static_cast<int>(std::nearbyint(v)); }

int redOf(TColor c) { return c & 0xFF; }
int greenOf(TColor c) { return (c >> 8) & 0xFF; }
int blueOf(TColor c) { return (c >> 16) & 0xFF; }

}  // namespace

TJvGradient::TJvGradient(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    WatchParent();
    FillParent();
}

TJvGradient::~TJvGradient()
{
    if (FWatchedParent)
        FWatchedParent->removeEventFilter(this);
}

void TJvGradient::SetStartColor(TColor value)
{
    if (value == FStartColor)
        return;
    FStartColor = value;
    MarkStale();
}

void TJvGradient::SetEndColor(TColor value)
{
    if (value == FEndColor)
        return;
    FEndColor = value;
    MarkStale();
}

void TJvGradient::SetStyle(TJvGradientStyle value)
{
    if (value == FStyle)
        return;
    FStyle = value;
    MarkStale();
}

void TJvGradient::SetSteps(uint16_t value)
{
    if (value == FSteps)
        return;
    FSteps = value;
    MarkStale();
}

void TJvGradient::SetAlign(TAlign value)
{
    if (value == FAlign)
        return;
    FAlign = value;
    FFilledParentSize = QSize();
    FillParent();
}

void TJvGradient::MarkStale()
{
    FCachedWidth = 0;
    update();
}

void TJvGradient::Render()
{
    const int w = width();
    const int h = height();
    if (w == FCachedWidth && h == FCachedHeight)
        return;
    FCachedWidth = w;
    FCachedHeight = h;
    if (w <= 0 || h <= 0) {
        FBitmap = QImage();
        return;
    }
    if (FBitmap.size() != QSize(w, h))
        FBitmap = QImage(w, h, QImage::Format_RGB32);

    switch (FStyle) {
    case TJvGradientStyle::grVertical: RenderBands(true); break;
    case TJvGradientStyle::grHorizontal: RenderBands(false); break;
    default: FBitmap.fill(ColorToRGB(FStartColor)); break;
    }
    ++FRenderCount;
}

// s + 1 bands along the gradient's axis: band i covers Round(i*h) up to
// Round((i+1)*h) and has the channels Round(start + i*d). The products are
// formed in extended precision from the double d and h, so that a value just
// beside .5 stays on its side: 247 + 25 * (-0.18) is 242.5000000000000002 and
// gives 243, where double arithmetic would make it 242.5 and round to 242.
void TJvGradient::RenderBands(bool vertical)
{
    const int length = vertical ? FBitmap.height() : FBitmap.width();
    int s = std::min<int>(FSteps, length);
    if (s == 0)
        s = 1;

    const TColor from = ResolveColor(FStartColor);
    const TColor to = ResolveColor(FEndColor);
    const int start[3] = {redOf(from), greenOf(from), blueOf(from)};
    const int end[3] = {redOf(to), greenOf(to), blueOf(to)};
    double d[3];
    for (int c = 0; c < 3; ++c)
        d[c] = static_cast<double>(end[c] - start[c]) / s;
    const double bandLength = static_cast<double>(length) / s;

    for (int i = 0; i <= s; ++i) {
        const long double li = i;
        const int first = roundEven(li * bandLength);
        const int last = std::min(roundEven((li + 1) * bandLength), length);
        if (first >= last)
            continue;
        int ch[3];
        for (int c = 0; c < 3; ++c)
            ch[c] = std::clamp(roundEven(start[c] + li * d[c]), 0, 255);
        const QRgb pixel = qRgb(ch[0], ch[1], ch[2]);

        if (vertical) {
            for (int y = first; y < last; ++y) {
                auto* line = reinterpret_cast<QRgb*>(FBitmap.scanLine(y));
                std::fill(line, line + FBitmap.width(), pixel);
            }
        } else {
            for (int y = 0; y < FBitmap.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(FBitmap.scanLine(y));
                std::fill(line + first, line + last, pixel);
            }
        }
    }
}

void TJvGradient::paintEvent(QPaintEvent*)
{
    Render();
    if (FBitmap.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, FBitmap);
}

bool TJvGradient::event(QEvent* e)
{
    switch (e->type()) {
    case QEvent::ParentAboutToChange:
        if (FWatchedParent)
            FWatchedParent->removeEventFilter(this);
        FWatchedParent = nullptr;
        break;
    case QEvent::ParentChange:
        WatchParent();
        FFilledParentSize = QSize();
        FillParent();
        break;
    default: break;
    }
    return QWidget::event(e);
}

bool TJvGradient::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == FWatchedParent && e->type() == QEvent::Resize)
        FillParent();
    return QWidget::eventFilter(watched, e);
}

void TJvGradient::WatchParent()
{
    if (FWatchedParent == parentWidget())
        return;
    if (FWatchedParent)
        FWatchedParent->removeEventFilter(this);
    FWatchedParent = parentWidget();
    if (FWatchedParent)
        FWatchedParent->installEventFilter(this);
}

void TJvGradient::FillParent()
{
    QWidget* parent = parentWidget();
    if (FAlign != TAlign::alClient || !parent)
        return;
    // Only a real change of the parent's size re-aligns, so that a geometry the
    // owner set after construction survives a deferred resize event.
    if (parent->size() == FFilledParentSize)
        return;
    FFilledParentSize = parent->size();
    setGeometry(parent->rect());
}
