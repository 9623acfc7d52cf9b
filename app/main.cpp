// The program: system information first, then the one dialog until it closes.
//   Ripper                 the dialog; exits 0 when it closes, also on SIGTERM,
//                          SIGHUP or SIGINT
//   Ripper --version       prints the version; needs no display
//   Ripper --check-start   builds the dialog as a start does, without showing
//                          it, prints the wizard picture it loaded and every
//                          error of the start-up on stderr, and exits 0 when
//                          the start-up met no error, 1 otherwise
#include "MessageBoxes.h"
#include "NVL_SystemInfo.h"
#include "QuitSignals.h"
#include "fRipper.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <exception>

namespace {

// In place of the message boxes for --check-start: every box goes to stderr.
class TStderrBoxes : public TMessageBoxes {
public:
    void ShowError(QWidget*, const QString& text) override
    {
        ++Errors;
        std::fprintf(stderr, "Ripper: error: %s\n", text.toUtf8().constData());
    }
    void Information(QWidget*, const QString& text) override
    {
        std::fprintf(stderr, "Ripper: information: %s\n", text.toUtf8().constData());
    }
    bool Confirm(QWidget*, const QString& text) override
    {
        std::fprintf(stderr, "Ripper: question (answered no): %s\n", text.toUtf8().constData());
        return false;
    }
    int Errors = 0;
};

int CheckStart()
{
    TStderrBoxes boxes;
    TRipFormSeams seams;
    seams.MessageBoxes = &boxes;
    const TRipForm form(seams);
    if (!form.WizardPicture().empty())
        std::fprintf(stderr, "Ripper: wizard picture %s\n", form.WizardPicture().c_str());
    return boxes.Errors == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool checkStart = argc == 2 && std::strcmp(argv[1], "--check-start") == 0;
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Ripper %s\n", RIPPER_VERSION);
        return 0;
    }
    try {
        InitializeSystemInfo();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Ripper: %s\n", e.what());
        return 1;
    }
    int result = 0;
    {
        QApplication application(argc, argv);
        if (checkStart) {
            result = CheckStart();
        } else {
            // SIGTERM, SIGHUP and SIGINT close the dialog as its close box does
            // (a rip is abandoned first); one during the start-up closes its
            // boxes and the window never shows.
            TQuitSignals quitSignals;
            QObject::connect(&quitSignals, &TQuitSignals::Received, &CloseMessageBoxes);
            TRipForm RipForm;
            QObject::connect(&quitSignals, &TQuitSignals::Received, &RipForm, &QWidget::close);
            if (quitSignals.Count() == 0) {
                RipForm.show();
                result = application.exec();
            }
        }
    }
    FinalizeSystemInfo();
    return result;
}
