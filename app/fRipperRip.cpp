// The dialog at work: the drive and track lists with their 3-second refresh,
// the choice of format, and the copy of one track from the start button to
// the line in Audio.ini.
#include "fRipper.h"

#include "AudioIni.h"
#include "CDRIP.h"
#include "DriveRoots.h"
#include "MessageBoxes.h"
#include "RipNaming.h"
#include "Rtl.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include <filesystem>

namespace {

constexpr int kStatusStart = 20015;  // the text before the percentage
constexpr int kStatusDone = 20016;

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

bool FileExists(const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

// Sets a flag for the lifetime of the scope.
class TFlagScope {
public:
    explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
    ~TFlagScope() { FFlag = false; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& FFlag;
};

}  // namespace

// ---- Drive and track lists ----

void TRipForm::FillDriveList()
{
    DriveComboBox->clear();
    const std::vector<std::string> roots = ripper::CdRomRoots(FDriveApi);
    for (size_t i = 0; i < roots.size(); ++i) {
        CDRIP1->SetCDRomNum(static_cast<int32_t>(i));
        DriveComboBox->addItem(FromUtf8(CDRIP1->CDRomName()));
    }
    if (DriveComboBox->count() > 0)
        DriveComboBox->setCurrentIndex(0);
}

// The list box keeps its size: a line too long for it shows whole in its
// tooltip, and the list scrolls sideways.
void TRipForm::FillTrackList()
{
    const TFlagScope filling(FFillingTrackList);
    TrackListBox->clear();
    const TTrackList& tracks = CDRIP1->Tracks();
    const int room =
        TrackListBox->contentsRect().width() - TrackListBox->verticalScrollBar()->sizeHint().width() -
        2 * (TrackListBox->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, TrackListBox) + 1);
    for (int32_t i = 0; i < tracks.Count(); ++i) {
        const TTrack& track = *tracks.Object(i);
        if (track.Kind.empty())
            continue;
        const QString line = FromUtf8(ripper::TrackListLine(tracks.Name(i), track, CDRIP1->AlbumPerformer()));
        auto* item = new QListWidgetItem(line, TrackListBox);
        if (TrackListBox->fontMetrics().horizontalAdvance(line) > room)
            item->setToolTip(line);
    }
}

void TRipForm::DriveComboBoxChange()
{
    CDRIP1->Tracks().Clear();
    CDRIP1->SetCDRomNum(DriveComboBox->currentIndex());
    FillTrackList();
}

void TRipForm::TrackListBoxClick() { StartBitBtn->setEnabled(TrackListBox->count() > 0); }

// A line chosen with the keys counts as a click; lines set by code do not.
void TRipForm::TrackListBoxCurrentRowChanged()
{
    if (!FFillingTrackList)
        TrackListBoxClick();
}

// One tick at a time: the error box of a failing tick runs a nested event
// loop, in which further ticks would stack further boxes.
void TRipForm::RunTimer1Tick()
{
    if (FRefreshing || FRipping)
        return;
    const TFlagScope refreshing(FRefreshing);
    Guarded(&TRipForm::Timer1Timer);
}

void TRipForm::Timer1Timer()
{
    const int remembered = SelectedTrackLine();
    CDRIP1->Tracks().Clear();
    const int drive = DriveComboBox->currentIndex();
    try {
        // A drive's name may come after its first listing (the library asks
        // the drive on a thread of its own).
        if (drive >= 0 && CDRIP1->RereadDrive(drive))
            DriveComboBox->setItemText(drive, FromUtf8(CDRIP1->CDRomName()));
    } catch (...) {
        FillTrackList();
        TrackListBox->setEnabled(false);
        StartBitBtn->setEnabled(false);
        throw;
    }
    FillTrackList();
    SelectTrackLine(remembered);
    if (TrackListBox->count() > 0) {
        TrackListBox->setEnabled(true);
    } else {
        TrackListBox->setEnabled(false);
        StartBitBtn->setEnabled(false);
    }
}

int TRipForm::SelectedTrackLine() const
{
    const QList<QListWidgetItem*> selected = TrackListBox->selectedItems();
    return selected.isEmpty() ? -1 : TrackListBox->row(selected.first());
}

void TRipForm::SelectTrackLine(int line)
{
    const TFlagScope filling(FFillingTrackList);
    if (line >= 0 && line < TrackListBox->count())
        TrackListBox->setCurrentRow(line);
    else
        TrackListBox->clearSelection();
}

// ---- Format ----

void TRipForm::MP3CheckBoxClick()
{
    WavCheckBox->setChecked(!MP3CheckBox->isChecked());
    CDRIP1->SetEncode(MP3CheckBox->isChecked());
}

void TRipForm::WavCheckBoxClick()
{
    MP3CheckBox->setChecked(!WavCheckBox->isChecked());
    CDRIP1->SetWriteWAV(WavCheckBox->isChecked());
}

// ---- The rip ----

void TRipForm::TrackListBoxDblClick() { StartBitBtnClick(); }

void TRipForm::StartBitBtnClick()
{
    if (FRipping)
        return;
    FCloseRequested = false;
    StartBitBtn->setEnabled(false);
    Timer1->stop();

    const int line = SelectedTrackLine();
    if (line < 0 || line >= CDRIP1->Tracks().Count()) {
        RefuseStart();
        return;
    }
    // The track's kind, not the line's text: a title such as "Live (Data)
    // Mix" does not make an audio track a data track.
    if (CDRIP1->Tracks().Object(line)->Kind == "Data") {
        RefuseStart();
        Boxes().Information(this, FromUtf8(ripper::DataTrackNotice(FLanguage)));
        return;
    }
    if (FDiashowDir.empty()) {
        RefuseStart();
        throw rtl::Exception(ripper::NoSlideshowFolderMessage(FLanguage));
    }

    SetHourglass(true);
    try {
        ChooseOutputFile(line);
    } catch (...) {
        SetHourglass(false);
        RefuseStart();
        throw;
    }
    // Closed while the question was open (the session ended): no copy.
    if (FCloseRequested) {
        SetHourglass(false);
        RefuseStart();
        return;
    }
    RipLine(line);
}

// The state of a start that did not begin a rip: the refresh runs again.
void TRipForm::RefuseStart()
{
    StartBitBtn->setEnabled(false);
    AbortBitBtn->setEnabled(false);
    Timer1->start();
}

// A file of that name exists: only "&Ja" overwrites it; any other answer
// keeps it and takes a free numbered name.
void TRipForm::ChooseOutputFile(int line)
{
    FOutFileName = ripper::OutputFileName(FDiashowDir, CDRIP1->Tracks().Name(line), MP3CheckBox->isChecked());
    if (FileExists(FOutFileName) && !Boxes().Confirm(this, FromUtf8(ripper::kOverwriteQuestion)))
        FOutFileName = ripper::RandomOutputName(FDiashowDir, FOutFileName, FRandomDraw, FileExists);
}

void TRipForm::RipLine(int line)
{
    SetHourglass(true);
    SetRipControlsEnabled(false);
    AbortBitBtn->setEnabled(true);
    FRipping = true;
    FAbortRequested = false;

    // The ripper puts nothing under FOutFileName unless the copy is complete:
    // after an abort, an error or a close an overwritten file is still there.
    std::string error;
    try {
        CDRIP1->RipTrack(line + 1, FOutFileName);
    } catch (...) {
        error = CurrentExceptionMessage();
    }
    FRipping = false;
    const bool aborted = FAbortRequested && error.empty();
    EndRip();
    if (aborted)
        StartBitBtn->setEnabled(true);
    else if (error.empty())
        SetStatusText(FromUtf8(TranslateText(kStatusDone)));
    else if (!FCloseRequested)  // the error of a rip given up for a close keeps no one waiting
        Boxes().ShowError(this, ErrorBoxText(error));
    if (FCloseRequested)
        close();
}

// The idle state after a rip, however it ended.
void TRipForm::EndRip()
{
    SetRipControlsEnabled(true);
    SetHourglass(false);
    AbortBitBtn->setEnabled(false);
    ProgressBar1->setValue(0);
    Timer1->start();
}

void TRipForm::SetRipControlsEnabled(bool enabled)
{
    for (QWidget* control :
         std::initializer_list<QWidget*>{DriveComboBox, TrackListBox, CloseBitBtn, MP3CheckBox, WavCheckBox})
        control->setEnabled(enabled);
}

void TRipForm::SetHourglass(bool on)
{
    if (on == FHourglass)
        return;
    FHourglass = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TRipForm::CDRIP1Progress(uint16_t percentComplete)
{
    if (!FAbortRequested)
        SetStatusText(FromUtf8(TranslateText(kStatusStart) + " " + std::to_string(percentComplete) + "%"));
    ProgressBar1->setValue(percentComplete);
}

// The ripper ends a track also when it was aborted; such a track is not
// listed.
void TRipForm::CDRIP1EndTrack()
{
    if (FAbortRequested)
        return;
    ripper::AppendAudioIniLine(FDiashowDir + "/Audio.ini", ripper::FileNamePart(FOutFileName));
}

// The ripper stops before its next read and drops the unfinished copy; a
// file of that name (one the user agreed to overwrite) stays as it was.
void TRipForm::AbortBitBtnClick()
{
    if (!FRipping || FAbortRequested)
        return;
    FAbortRequested = true;
    CDRIP1->Abort();
    AbortBitBtn->setEnabled(false);
    SetStatusText(QStringLiteral("Aborted"));
}

void TRipForm::CloseBitBtnClick() { close(); }

void TRipForm::closeEvent(QCloseEvent* event)
{
    FCloseRequested = true;
    if (FRipping) {
        AbortBitBtnClick();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}
