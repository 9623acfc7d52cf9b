#include "fRipper.h"

#include "ButtonGlyphs.h"
#include "CDRIP.h"
#include "Colors.h"
#include "Folders.h"
#include "HintTiming.h"
#include "IniFile.h"
#include "JpegImage.h"
#include "MessageBoxes.h"
#include "NVL_SystemInfo.h"
#include "RipperRules.h"
#include "Rtl.h"
#include "TextFile.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

// The layout was designed at this resolution; at a different one the form
// is scaled at start by 92 (not 96) over the screen's resolution.
constexpr int kDesignPixelsPerInch = 96;
constexpr int kScaleMultiplier = 92;

constexpr int kClientWidth = 762;
constexpr int kClientHeight = 538;
constexpr int kFormFontPixels = 11;   // "Microsoft Sans Serif", height -11
constexpr int kTitleFontPixels = 13;  // Label13, height -13

constexpr TColor kGradientStart = 16246494;
constexpr TColor kGradientEnd = 15051662;
constexpr TColor kGroupColor = 16046269;

constexpr int kReadingText = 20015;  // "Einlesen:" before the percentage

constexpr int kTimerInterval = 3000;
constexpr int kHintPause = 0;
constexpr int kHintHidePause = 10000;

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

// value * m / d rounded to the nearest integer, halves away from zero.
int MulDiv(int value, int m, int d)
{
    const long long product = static_cast<long long>(value) * m;
    const long long magnitude = (std::llabs(product) * 2 + d) / (2LL * d);
    return static_cast<int>(product < 0 ? -magnitude : magnitude);
}

// Scales the edges, not the width and height, so neighbouring controls stay
// neighbours.
void ScaleGeometry(QWidget* widget, int m, int d)
{
    const QRect g = widget->geometry();
    const int left = MulDiv(g.x(), m, d);
    const int top = MulDiv(g.y(), m, d);
    widget->setGeometry(left, top, MulDiv(g.x() + g.width(), m, d) - left,
                        MulDiv(g.y() + g.height(), m, d) - top);
}

// The controls of the layout below `parent`: its direct child widgets, and
// those of a group box. The inner parts of a combo or list box follow their
// owner by themselves.
void ScaleControls(QWidget* parent, int m, int d)
{
    for (QObject* child : parent->children()) {
        auto* control = qobject_cast<QWidget*>(child);
        if (!control || control->isWindow())
            continue;
        ScaleGeometry(control, m, d);
        if (qobject_cast<QGroupBox*>(control))
            ScaleControls(control, m, d);
    }
}

// The slideshow's per-user folder as the system information gives it.
std::string SystemInfoUserFolder()
{
    if (!WindowsInfo)
        throw rtl::Exception("Die Systeminformationen sind nicht verfügbar");
    return ripper::FotariaUserFolder(WindowsInfo->AppData);
}

void SetPixelSize(QWidget* widget, int pixels)
{
    QFont font = widget->font();
    font.setPixelSize(pixels);
    widget->setFont(font);
}

// The status line as assistive tools see it: a status bar named by its
// text.  QLabel reports every new text as a change of that name, which
// reaches screen readers as an AT-SPI property change.
class TStatusLineAccessible : public QAccessibleWidget {
public:
    explicit TStatusLineAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::StatusBar) {}
    QString text(QAccessible::Text kind) const override
    {
        return kind == QAccessible::Name ? static_cast<const QLabel*>(widget())->text()
                                         : QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* StatusLineAccessible(const QString&, QObject* object)
{
    auto* label = qobject_cast<QLabel*>(object);
    if (label && label->objectName() == QLatin1String("StatusLabel") &&
        qobject_cast<TRipForm*>(label->parentWidget()))
        return new TStatusLineAccessible(label);
    return nullptr;
}

// Before the first label exists: an interface, once made, is kept for good.
void InstallStatusLineAccessible()
{
    static const bool installed = (QAccessible::installFactory(StatusLineAccessible), true);
    (void)installed;
}

}  // namespace

TRipForm::TRipForm(const TRipFormSeams& seams, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      FDriveApi(seams.DriveApi),
      FRandomDraw(seams.RandomDraw ? seams.RandomDraw : ripper::ClockSeededDraw()),
      FCdRipApi(seams.CdRipApi),
      FMessageBoxes(seams.MessageBoxes ? seams.MessageBoxes : &StandardMessageBoxes()),
      FProgramFile(seams.ProgramFile)
{
    if (!FDriveApi.GetLogicalDriveStrings || !FDriveApi.GetDriveType)
        FDriveApi = os::SystemDriveApi();
    InstallStatusLineAccessible();
    setupUi(this);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kTimerInterval);
    CreateComponents();
    SetUpLook();
    SetUpButtonGlyphs();
    setFixedSize(kClientWidth, kClientHeight);
    ConnectHandlers();

    FormCreate();
    FitAutoSizeLabels();
    DescribeForAssistiveTools();

    if (QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
}

TRipForm::~TRipForm() { SetHourglass(false); }

// As the stored layout builds them: the ripper, then the encoder, and the
// ripper's reference to the encoder last.  The library reads the drives on
// threads of its own before the ripper first asks, so that no call of this
// thread waits for a drive.
void TRipForm::CreateComponents()
{
    const cdrip::TCdRipApi& api = FCdRipApi ? *FCdRipApi : cdrip::LinkedCdRipApi();
    if (api.SetDriveReading)
        api.SetDriveReading(CDRIP_READ_IN_BACKGROUND);
    CDRIP1 = CreateStoredCDRIP1(
        nullptr, [this](void*, uint16_t) { CDRIP1EndTrack(); },
        [this](void*, uint16_t percent) { CDRIP1Progress(percent); }, api);
    CDRIP1->ProcessMessages = [] { QCoreApplication::processEvents(); };
    LameCoder1 = std::make_unique<TLameCoder>();
    LameCoder1->SetDefaultExt(".mp3");
    CDRIP1->SetCoder(LameCoder1.get());
}

// Only what a user does reaches the handlers of user events: a drive chosen
// (activated), a line clicked or moved to with the keys, a double-click
// anywhere in the list. The check boxes answer every change of state, also
// one made by code.
void TRipForm::ConnectHandlers()
{
    ConnectGuarded(DriveComboBox, &QComboBox::activated, &TRipForm::DriveComboBoxChange);
    ConnectGuarded(TrackListBox, &QListWidget::clicked, &TRipForm::TrackListBoxClick);
    ConnectGuarded(TrackListBox, &QListWidget::currentRowChanged, &TRipForm::TrackListBoxCurrentRowChanged);
    TrackListBox->viewport()->installEventFilter(this);
    TrackListBox->installEventFilter(this);
    // A line chosen through the accessibility interface selects it without
    // making it current; it counts as a click all the same.
    ConnectGuarded(TrackListBox, &QListWidget::itemSelectionChanged,
                   &TRipForm::TrackListBoxCurrentRowChanged);
    ConnectGuarded(MP3CheckBox, &QCheckBox::toggled, &TRipForm::MP3CheckBoxClick);
    ConnectGuarded(WavCheckBox, &QCheckBox::toggled, &TRipForm::WavCheckBoxClick);
    ConnectGuarded(StartBitBtn, &QPushButton::clicked, &TRipForm::StartBitBtnClick);
    ConnectGuarded(AbortBitBtn, &QPushButton::clicked, &TRipForm::AbortBitBtnClick);
    ConnectGuarded(CloseBitBtn, &QPushButton::clicked, &TRipForm::CloseBitBtnClick);
    connect(Timer1, &QTimer::timeout, this, &TRipForm::RunTimer1Tick);

    const QAbstractItemModel* drives = DriveComboBox->model();
    ConnectGuarded(drives, &QAbstractItemModel::rowsInserted, &TRipForm::FitDriveBoxPopup);
    ConnectGuarded(drives, &QAbstractItemModel::rowsRemoved, &TRipForm::FitDriveBoxPopup);
    ConnectGuarded(drives, &QAbstractItemModel::modelReset, &TRipForm::FitDriveBoxPopup);
    ConnectGuarded(drives, &QAbstractItemModel::dataChanged, &TRipForm::FitDriveBoxPopup);
    connect(DriveComboBox, &QComboBox::currentTextChanged, DriveComboBox, &QWidget::setToolTip);
}

// Return or Enter in the track list starts a copy, as a double-click does.
bool TRipForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == TrackListBox->viewport() && event->type() == QEvent::MouseButtonDblClick)
        Guarded(&TRipForm::TrackListBoxDblClick);
    if (watched == TrackListBox && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !key->isAutoRepeat()) {
            Guarded(&TRipForm::TrackListBoxDblClick);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// The box keeps the layout's size; its drop-down list is as wide as the
// longest drive name (a name such as "/dev/sr0 (no permission: add yourself
// to group cdrom)" runs far past the box), and its tooltip gives the chosen
// name whole.  The width is measured from the texts: the size hint of an
// item may follow the list's current width rather than its text.
void TRipForm::FitDriveBoxPopup()
{
    QAbstractItemView* list = DriveComboBox->view();
    int text = 0;
    for (int i = 0; i < DriveComboBox->count(); ++i)
        text = std::max(text, list->fontMetrics().horizontalAdvance(DriveComboBox->itemText(i)));
    const int itemMargins = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
    int width = text + itemMargins + 2 * list->frameWidth();
    if (DriveComboBox->count() > DriveComboBox->maxVisibleItems())
        width += list->verticalScrollBar()->sizeHint().width();
    list->setMinimumWidth(width);
}

// Names and descriptions for screen readers, from the dialog's own texts.
// The drive box is named by its label (its buddy in fRipper.ui: on Linux a
// combo box names itself by its entry and points to its label); a list has
// no such pointer and takes its label's text as its name.  The status line
// is named by its text.
void TRipForm::DescribeForAssistiveTools()
{
    TrackListBox->setAccessibleName(Label11->text());
    Image1->setAccessibleName(windowTitle());
    Image1->setAccessibleDescription(Label13->text());
    QString reading = FromUtf8(TranslateText(kReadingText));
    while (reading.endsWith(u':') || reading.endsWith(u' '))
        reading.chop(1);
    ProgressBar1->setAccessibleName(reading.isEmpty() ? GroupBox1->title() : reading);
    ProgressBar1->setAccessibleDescription(GroupBox1->title());
}

void TRipForm::SetUpLook()
{
    QFont::insertSubstitution(QStringLiteral("Microsoft Sans Serif"), QStringLiteral("DejaVu Sans"));
    QFont formFont(QStringLiteral("Microsoft Sans Serif"));
    formFont.setPixelSize(kFormFontPixels);
    setFont(formFont);

    QFont titleFont;
    titleFont.setBold(true);
    titleFont.setPixelSize(kTitleFontPixels);
    Label13->setFont(titleFont);
    QPalette titlePalette = Label13->palette();
    titlePalette.setColor(QPalette::WindowText, QColor::fromRgb(ColorToRGB(clNavy)));
    Label13->setPalette(titlePalette);

    for (QLabel* label : findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);

    for (TJvGradient* gradient : {JvGradient1, JvGradient2}) {
        gradient->SetStyle(TJvGradientStyle::grVertical);
        gradient->SetStartColor(kGradientStart);
        gradient->SetEndColor(kGradientEnd);
    }
    // The inner gradient keeps the inset below the group's caption that the
    // layout gives it instead of filling the whole group box.
    JvGradient2->SetAlign(TAlign::alNone);
    JvGradient2->setGeometry(2, 15, 621, 312);
    JvGradient1->lower();
    JvGradient2->lower();

    for (QWidget* w : std::initializer_list<QWidget*>{GroupBox1, MP3CheckBox, WavCheckBox}) {
        QPalette palette = w->palette();
        palette.setColor(QPalette::Window, QColor::fromRgb(ColorToRGB(kGroupColor)));
        w->setPalette(palette);
        w->setBackgroundRole(QPalette::Window);  // a check box would fill with the button colour
        w->setAutoFillBackground(true);
    }
    StatusLabel->adjustSize();
}

// The step labels and the two captions in the group size themselves to their
// text; our fonts run wider than the ones the layout was measured with, so a
// label only ever grows, and only in width.
void TRipForm::FitAutoSizeLabels()
{
    for (QLabel* label : {Label1, Label2, Label3, Label4, Label10, Label11}) {
        const int needed = label->sizeHint().width();
        if (needed > label->width())
            label->resize(needed, label->height());
    }
}

void TRipForm::SetUpButtonGlyphs()
{
    StartBitBtn->setIcon(ButtonGlyphIcon(TButtonGlyph::Start));
    AbortBitBtn->setIcon(ButtonGlyphIcon(TButtonGlyph::Abort));
    CloseBitBtn->setIcon(ButtonGlyphIcon(TButtonGlyph::Close));
}

void TRipForm::SetStatusText(const QString& text)
{
    StatusLabel->setText(text);
    StatusLabel->adjustSize();
}

bool TRipForm::Guarded(void (TRipForm::*handler)())
{
    try {
        (this->*handler)();
        return true;
    } catch (...) {
        Boxes().ShowError(this, ErrorBoxText(CurrentExceptionMessage()));
        return false;
    }
}

void TRipForm::FormCreate()
{
    Guarded(&TRipForm::ScaleToScreen);
    Guarded(&TRipForm::OpenLanguageIni);
    if (Guarded(&TRipForm::ReadLanguage))
        Guarded(&TRipForm::TranslateCaptions);
    Guarded(&TRipForm::SetProgramDir);
    Guarded(&TRipForm::LoadWizardPicture);
    Guarded(&TRipForm::SetHintTiming);
    Guarded(&TRipForm::ReadDiashowDir);
    Guarded(&TRipForm::StartDriveLists);
    Guarded(&TRipForm::StartFormatChoice);
}

// At a resolution other than the design's, the form and its controls are
// scaled once, geometry and the fonts that have a size of their own.  With
// Qt's high-DPI scaling on, Qt maps our logical pixels to the screen by the
// device pixel ratio and reports the design's resolution; the screen's
// resolution is then the logical one times that ratio, so the factor is the
// same whatever Qt's setting.
void TRipForm::ScaleToScreen()
{
    const int pixelsPerInch = qRound(logicalDpiX() * devicePixelRatioF());
    if (pixelsPerInch == kDesignPixelsPerInch || pixelsPerInch <= 0)
        return;
    const int m = kScaleMultiplier;
    const int d = pixelsPerInch;

    std::vector<std::pair<QWidget*, int>> ownFontSizes;
    for (QWidget* w : findChildren<QWidget*>()) {
        const QWidget* parent = w->parentWidget();
        if (parent && w->font().pixelSize() != parent->font().pixelSize())
            ownFontSizes.emplace_back(w, w->font().pixelSize());
    }
    SetPixelSize(this, MulDiv(font().pixelSize(), m, d));
    for (const auto& [widget, pixels] : ownFontSizes)
        SetPixelSize(widget, MulDiv(pixels, m, d));

    setFixedSize(MulDiv(width(), m, d), MulDiv(height(), m, d));
    ScaleControls(this, m, d);
}

void TRipForm::OpenLanguageIni()
{
    FLanguageIni = std::make_unique<os::TIniFile>(SystemInfoUserFolder() + "Language.ini");
}

void TRipForm::ReadLanguage()
{
    const std::vector<std::string> lines = os::LoadTextLines(SystemInfoUserFolder() + "LanguageIsSet.ini");
    if (lines.empty())
        throw rtl::EListError(rtl::ListIndexErrorMessage(0));
    FLanguage = lines[0];
}

void TRipForm::TranslateCaptions()
{
    Label13->setText(FromUtf8(TranslateText(20000)));
    Label1->setText(FromUtf8(TranslateText(20001)));
    Label2->setText(FromUtf8(TranslateText(20002)));
    Label3->setText(FromUtf8(TranslateText(20003)));
    Label4->setText(FromUtf8(TranslateText(20004)));
    GroupBox1->setTitle(FromUtf8(TranslateText(20005)));
    Label10->setText(FromUtf8(TranslateText(20006)));
    Label11->setText(FromUtf8(TranslateText(20007)));
    MP3CheckBox->setText(FromUtf8(TranslateText(20008)));
    WavCheckBox->setText(FromUtf8(TranslateText(20009)));
    StartBitBtn->setText(FromUtf8(TranslateText(20010)));
    AbortBitBtn->setText(FromUtf8(TranslateText(20011)));
    CloseBitBtn->setText(FromUtf8(TranslateText(20012)));
    setWindowTitle(FromUtf8(TranslateText(20013)));
}

void TRipForm::SetProgramDir()
{
    const std::string programFile =
        FProgramFile.empty() ? QCoreApplication::applicationFilePath().toStdString() : FProgramFile;
    FProgramDir = ripper::ProgramDirOf(programFile);
}

void TRipForm::LoadWizardPicture()
{
    const std::string path =
        ripper::WizardPicturePath(FProgramDir, ripper::InstalledDataDir(FProgramDir), FLanguage);
    Image1->setPixmap(QPixmap::fromImage(LoadJpegFile(path)));
    FWizardPicture = path;
}

void TRipForm::SetHintTiming() { SetApplicationHintTiming(kHintPause, kHintHidePause); }

void TRipForm::ReadDiashowDir()
{
    const os::TIniFile ini(ripper::FotariaUserFolder(os::GetSpecialFolderPath(os::CSIDL_APPDATA)) +
                           "Ripper.ini");
    FDiashowDir = ini.ReadString("SETTINGS", "DiashowDir", "");
}

// The disc's titles in the dialog's language where it has them.
void TRipForm::StartDriveLists()
{
    CDRIP1->SetCDTextLanguage(ripper::IsGerman(FLanguage) ? CDRIP_TEXT_GERMAN : CDRIP_TEXT_ENGLISH);
    FillDriveList();
    Timer1->start();
}

void TRipForm::StartFormatChoice()
{
    CDRIP1->SetEncode(false);
    WavCheckBox->setChecked(true);
    WavCheckBoxClick();
}

std::string TRipForm::TranslateText(int number) const
{
    const std::string value =
        FLanguageIni ? FLanguageIni->ReadString(FLanguage, std::to_string(number), "") : std::string();
    return ripper::ReplaceProductName(value, ripper::ProductName(FLanguage));
}
