// The rip dialog, the program's only window: its layout (fRipper.ui), its
// start-up and the dialog texts of the slideshow application.
#pragma once

#include "CDRIP.h"
#include "Colors.h"
#include "Drives.h"
#include "RipNaming.h"
#include "ui_fRipper.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QCloseEvent;
class QShowEvent;
class QTimer;
class TCDRIP;
class TLameCoder;
class TMessageBoxes;

namespace os {
class TIniFile;
}

// What a test may put in place of the real surroundings of the dialog.
struct TRipFormSeams {
    // The message boxes; null means the standard ones. Not owned; it must
    // outlive the dialog.
    TMessageBoxes* MessageBoxes = nullptr;
    // Path of the program file the pictures are found beside; empty means
    // QCoreApplication::applicationFilePath().
    std::string ProgramFile;
    // The machine's drive roots and types; empty functions mean the system's.
    os::TDriveApi DriveApi{};
    // The random numbers of the names for kept files; empty means a
    // generator seeded from the clock.
    ripper::TRandomDraw RandomDraw{};
    // The extraction library; null means the linked one. Not owned.
    const cdrip::TCdRipApi* CdRipApi = nullptr;
};

class TRipForm : public QWidget, private Ui::TRipForm {
    Q_OBJECT

public:
    explicit TRipForm(const TRipFormSeams& seams = {}, QWidget* parent = nullptr);
    ~TRipForm() override;

    // The text `number` (20000-20016) of the chosen language from
    // Language.ini, with the product name put in for "$PRG_NAME$". Empty when
    // the file, the section or the key is missing.
    std::string TranslateText(int number) const;

    const std::string& ProgramDir() const { return FProgramDir; }
    // The wizard picture shown; empty while none could be loaded.
    const std::string& WizardPicture() const { return FWizardPicture; }
    const std::string& Language() const { return FLanguage; }
    const std::string& DiashowDir() const { return FDiashowDir; }

    // The colour at `row` of a vertical gradient of `height` rows running
    // through `stops`; a plain COLORREF, never a system colour.
    static TColor GetGradientColor(const std::vector<TColor>& stops, int row, int height);

protected:
    void showEvent(QShowEvent* event) override;
    // Closing while a rip runs aborts it; the dialog closes once the rip
    // has returned; nothing unfinished reaches the slideshow folder.  A
    // close while the overwrite question is open starts no copy.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Every time the window is shown: on top, and the inner gradient starts
    // with the shade the outer one has where the group box begins.
    void FormShow();

    void FormCreate();
    // The steps of FormCreate. A step that fails shows its error and the
    // later steps run all the same (the captions only when the language was
    // read: a language we do not know would blank every text).
    void ScaleToScreen();
    void OpenLanguageIni();
    void ReadLanguage();
    void TranslateCaptions();
    void SetProgramDir();
    void LoadWizardPicture();
    void SetHintTiming();
    void ReadDiashowDir();
    void StartDriveLists();
    void StartFormatChoice();

    void CreateComponents();
    void ConnectHandlers();

    // Drive and track lists.
    void FillDriveList();
    void FillTrackList();
    void DriveComboBoxChange();
    void TrackListBoxClick();
    void TrackListBoxCurrentRowChanged();
    void Timer1Timer();
    void RunTimer1Tick();
    int SelectedTrackLine() const;
    void SelectTrackLine(int line);

    // The rip.
    void TrackListBoxDblClick();
    void MP3CheckBoxClick();
    void WavCheckBoxClick();
    void StartBitBtnClick();
    void CDRIP1Progress(uint16_t percentComplete);
    void CDRIP1EndTrack();
    void AbortBitBtnClick();
    void CloseBitBtnClick();
    void RefuseStart();
    void ChooseOutputFile(int line);
    void RipLine(int line);
    void SetRipControlsEnabled(bool enabled);
    void EndRip();
    void SetHourglass(bool on);

    void SetUpLook();
    void SetUpButtonGlyphs();
    void DescribeForAssistiveTools();
    void FitDriveBoxPopup();
    void FitAutoSizeLabels();
    void SetStatusText(const QString& text);

    // Runs `handler` and shows an error that leaves it in the standard error
    // box, so that no exception reaches Qt's event dispatch. True when the
    // handler ran to its end.
    bool Guarded(void (TRipForm::*handler)());
    // Connects `signal` of `sender` to `handler`, run through Guarded; the
    // signal's arguments are dropped.
    template <typename Sender, typename Signal>
    void ConnectGuarded(Sender* sender, Signal signal, void (TRipForm::*handler)())
    {
        connect(sender, signal, this, [this, handler] { Guarded(handler); });
    }

    TMessageBoxes& Boxes() const { return *FMessageBoxes; }

    std::string FOutFileName;
    std::string FProgramDir;
    std::string FLanguage;
    std::string FDiashowDir;
    std::unique_ptr<os::TIniFile> FLanguageIni;

    // The encoder before the ripper that drives it.
    std::unique_ptr<TLameCoder> LameCoder1;
    std::unique_ptr<TCDRIP> CDRIP1;

    bool FRipping = false;           // inside RipTrack
    bool FAbortRequested = false;    // Abort or close asked during this rip
    bool FCloseRequested = false;    // since the start began, or during the rip
    bool FRefreshing = false;        // inside a tick, its error box included
    bool FFillingTrackList = false;  // list changes made by code
    bool FHourglass = false;

    os::TDriveApi FDriveApi;
    ripper::TRandomDraw FRandomDraw;
    const cdrip::TCdRipApi* FCdRipApi = nullptr;

    QTimer* Timer1 = nullptr;
    TMessageBoxes* FMessageBoxes = nullptr;
    std::string FProgramFile;
    std::string FWizardPicture;
};
