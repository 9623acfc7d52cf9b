// A throw-away slideshow profile and program folder for dialog tests: the
// per-user files under a temporary $XDG_DATA_HOME, the pictures beside a
// program path in the same temporary folder, and a recorder in place of the
// message boxes.
#pragma once

#include "MessageBoxes.h"
#include "TestSupport.h"

#include <QTemporaryDir>

#include <string>
#include <vector>

class TTestProfile {
public:
    // Points XDG_DATA_HOME into a new temporary folder and creates the
    // system information afresh from it.
    TTestProfile();
    ~TTestProfile();
    TTestProfile(const TTestProfile&) = delete;
    TTestProfile& operator=(const TTestProfile&) = delete;

    // <temp>/profile/NORVELA/Fotaria/
    std::string UserFolder() const;
    // <temp>/bin/Ripper (the file itself is never created).
    std::string ProgramFile() const;
    std::string ProgramDir() const;

    void WriteUserFile(const std::string& name, const std::string& bytes) const;
    // A 95 x 510 picture of one colour as <program dir>/<folder>/wizard.jpg.
    void WritePicture(const std::string& folder, int r, int g, int b) const;
    void WriteProgramFile(const std::string& relativePath, const std::string& bytes) const;

    // The usual profile: Language.ini with a German and an English section,
    // LanguageIsSet.ini with `language`, Ripper.ini, and both pictures (the
    // German one red, the English one blue).
    void WriteComplete(const std::string& language) const;

private:
    QTemporaryDir FRoot;
    testsupport::TEnvGuard FDataHome;
};

// Stands in for the message boxes and keeps what they were asked to show.
class TBoxRecorder : public TMessageBoxes {
public:
    struct TBox {
        std::string Kind;  // "error", "information", "confirm"
        std::string Text;
    };

    void ShowError(QWidget* parent, const QString& text) override;
    void Information(QWidget* parent, const QString& text) override;
    bool Confirm(QWidget* parent, const QString& text) override;

    std::vector<TBox> Shown;
    bool ConfirmAnswer = false;
};

void WriteFile(const std::string& path, const std::string& bytes);
