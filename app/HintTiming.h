// The application's hint (tooltip) timing. Qt keeps the delay before a
// tooltip appears in the style, so we put a proxy style in front of the
// application's own; the time a tooltip stays up has no application-wide
// setting in Qt (an automatic tooltip stays 10 s, longer for texts of more
// than 100 characters), so it is only recorded for code that shows
// tooltips itself.
#pragma once

#include <QProxyStyle>

class THintTimingStyle : public QProxyStyle {
    Q_OBJECT

public:
    THintTimingStyle(QStyle* base, int hintPause, int hintHidePause);

    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;

    int HintPause() const { return FHintPause; }
    int HintHidePause() const { return FHintHidePause; }
    void SetTiming(int hintPause, int hintHidePause);

private:
    int FHintPause;
    int FHintHidePause;
};

// Sets the delay before a tooltip shows (ms) and the time it stays (ms) for
// the whole application. Needs a QApplication.
void SetApplicationHintTiming(int hintPause, int hintHidePause);

// The application's timing style, or null before SetApplicationHintTiming.
const THintTimingStyle* ApplicationHintTiming();
