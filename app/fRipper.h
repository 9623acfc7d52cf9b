// The rip dialog, the program's only window: its layout (fRipper.ui), its
// start-up and the dialog texts of the slideshow application.
#pragma once

#include "Colors.h"
#include "ui_fRipper.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QShowEvent;
class QTimer;
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
    const std::string& Language() const { return FLanguage; }
    const std::string& DiashowDir() const { return FDiashowDir; }

    // The colour at `row` of a vertical gradient of `height` rows running
    // through `stops`; a plain COLORREF, never a system colour.
    static TColor GetGradientColor(const std::vector<TColor>& stops, int row, int height);

protected:
    void showEvent(QShowEvent* event) override;

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

    void SetUpLook();
    void SetUpButtonGlyphs();
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

    QTimer* Timer1 = nullptr;
    TMessageBoxes* FMessageBoxes = nullptr;
    std::string FProgramFile;
};
