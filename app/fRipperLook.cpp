// The dialog's look when it is shown: kept above other windows, and the inner
// gradient matched to the outer one at the group box's top edge.
#include "fRipper.h"

#include <QShowEvent>

namespace {

constexpr TColor kOuterStart = 16246494;
constexpr TColor kOuterEnd = 15051662;

}  // namespace

TColor TRipForm::GetGradientColor(const std::vector<TColor>& stops, int row, int height)
{
    return ::GetGradientColor(stops, row, height);
}

void TRipForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A spontaneous show is the window system giving the window back (after
    // being minimised, say), not the program showing the dialog.
    if (!event->spontaneous())
        Guarded(&TRipForm::FormShow);
}

void TRipForm::FormShow()
{
    // Stay-on-top is a window flag set at construction: changing flags on a
    // visible Qt window hides and re-shows it, and it must not be activated.
    const int row = GroupBox1->y() + JvGradient2->y();
    JvGradient2->SetStartColor(GetGradientColor({kOuterStart, kOuterEnd}, row, JvGradient1->height()));
}
