#include "HintTiming.h"

#include <QApplication>
#include <QStyleFactory>

THintTimingStyle::THintTimingStyle(QStyle* base, int hintPause, int hintHidePause)
    : QProxyStyle(base), FHintPause(hintPause), FHintHidePause(hintHidePause)
{}

int THintTimingStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                                QStyleHintReturn* returnData) const
{
    if (hint == SH_ToolTip_WakeUpDelay)
        return FHintPause;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

void THintTimingStyle::SetTiming(int hintPause, int hintHidePause)
{
    FHintPause = hintPause;
    FHintHidePause = hintHidePause;
}

const THintTimingStyle* ApplicationHintTiming()
{
    return qobject_cast<const THintTimingStyle*>(QApplication::style());
}

void SetApplicationHintTiming(int hintPause, int hintHidePause)
{
    if (auto* current = qobject_cast<THintTimingStyle*>(QApplication::style())) {
        current->SetTiming(hintPause, hintHidePause);
        return;
    }
    // A fresh copy of the current style as the base: the proxy owns its base,
    // and the application owns (and deletes) the style it had until now.
    QStyle* base = QStyleFactory::create(QApplication::style()->name());
    if (!base)
        base = QStyleFactory::create(QStringLiteral("Fusion"));
    QApplication::setStyle(new THintTimingStyle(base, hintPause, hintHidePause));
}
