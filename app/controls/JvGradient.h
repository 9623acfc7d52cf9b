#pragma once

#include "Colors.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <cstdint>

enum class TJvGradientStyle { grFilled, grEllipse, grHorizontal, grVertical, grPyramid, grMount };

// How the control places itself in its parent.
//  alNone   - the geometry is whatever the owner sets; the control never moves itself.
//  alClient - the control takes its parent's whole rectangle when it gets a parent or
//             is switched to alClient, and again each time the parent's size changes.
//             A geometry set in between (for an inset, say) stays until the parent's
//             size actually changes; use alNone to keep it for good.
enum class TAlign { alNone, alClient };

// An opaque colour gradient. The bands are rendered into an off-screen image that
// is kept until the size changes or a property changes; painting only copies it.
//
// grVertical and grHorizontal draw bands (top to bottom, left to right); the other
// styles are not built and fill the control with StartColor.
class TJvGradient : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int StartColor READ StartColor WRITE SetStartColor)
    Q_PROPERTY(int EndColor READ EndColor WRITE SetEndColor)
    Q_PROPERTY(ushort Steps READ Steps WRITE SetSteps)

public:
    explicit TJvGradient(QWidget* parent = nullptr);
    ~TJvGradient() override;

    TColor StartColor() const { return FStartColor; }
    void SetStartColor(TColor value);
    TColor EndColor() const { return FEndColor; }
    void SetEndColor(TColor value);
    TJvGradientStyle Style() const { return FStyle; }
    void SetStyle(TJvGradientStyle value);
    uint16_t Steps() const { return FSteps; }
    void SetSteps(uint16_t value);
    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign value);

    // The off-screen rendering; a null image while the control has no area.
    const QImage& Bitmap() const { return FBitmap; }
    // How many times the bands have been rendered.
    int RenderCount() const { return FRenderCount; }
    // Brings the off-screen image up to date for the current size; does nothing
    // when neither the size nor a property changed since the last call.
    void Render();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void MarkStale();
    void WatchParent();
    void FillParent();
    void RenderBands(bool vertical);

    TColor FStartColor = 16711680;
    TColor FEndColor = 0;
    TJvGradientStyle FStyle = TJvGradientStyle::grHorizontal;
    uint16_t FSteps = 100;
    TAlign FAlign = TAlign::alClient;

    QImage FBitmap;
    int FCachedWidth = 0;  // 0 means the rendering is stale
    int FCachedHeight = 0;
    int FRenderCount = 0;

    QPointer<QWidget> FWatchedParent;
    QSize FFilledParentSize;  // parent size the alClient geometry was last taken from
};
