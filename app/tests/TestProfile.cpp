#include "TestProfile.h"

#include "NVL_SystemInfo.h"
#include "WizardPicture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out)
        ADD_FAILURE() << "cannot write " << path;
}

TTestProfile::TTestProfile()
{
    const std::string dataHome = FRoot.path().toStdString() + "/profile";
    std::filesystem::create_directories(dataHome);
    FDataHome.Set("XDG_DATA_HOME", dataHome);
    FinalizeSystemInfo();
    InitializeSystemInfo();
}

TTestProfile::~TTestProfile()
{
    FinalizeSystemInfo();
    WindowsInfo = nullptr;
}

std::string TTestProfile::UserFolder() const
{
    return FRoot.path().toStdString() + "/profile/NORVELA/Fotaria/";
}

std::string TTestProfile::ProgramFile() const { return ProgramDir() + "Ripper"; }

std::string TTestProfile::ProgramDir() const { return FRoot.path().toStdString() + "/bin/"; }

void TTestProfile::WriteUserFile(const std::string& name, const std::string& bytes) const
{
    WriteFile(UserFolder() + name, bytes);
}

void TTestProfile::WritePicture(const std::string& folder, int r, int g, int b) const
{
    std::filesystem::create_directories(ProgramDir() + folder);
    wizard::TRgbPicture picture(wizard::kWidth, wizard::kHeight);
    picture.Fill(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b));
    wizard::WriteJpegFile(ProgramDir() + folder + "/wizard.jpg", picture);
}

void TTestProfile::WriteProgramFile(const std::string& relativePath, const std::string& bytes) const
{
    WriteFile(ProgramDir() + relativePath, bytes);
}

void TTestProfile::WriteComplete(const std::string& language) const
{
    WriteUserFile("Language.ini", "[german]\r\n"
                                  "20000=Titel für $PRG_NAME$\r\n"
                                  "20001=Schritt eins\r\n"
                                  "20005=Gruppe\r\n"
                                  "20008=MP3 deutsch\r\n"
                                  "20012=Zurück zu $prg_name$\r\n"
                                  "20013=$PRG_NAME$ Pro: Audio-CD einlesen\r\n"
                                  "20015=Einlesen:\r\n"
                                  "[ENGLISH]\r\n"
                                  "20000=Title for $PRG_NAME$\r\n"
                                  "20001=Step one\r\n"
                                  "20005=Group\r\n"
                                  "20008=MP3 english\r\n"
                                  "20012=Back to $prg_name$\r\n"
                                  "20013=$PRG_NAME$ Pro: Import audio CD\r\n");
    WriteUserFile("LanguageIsSet.ini", language + "\r\n");
    WriteUserFile("Ripper.ini", "[Settings]\r\nDiashowDir=/srv/Diashow\r\n");
    WritePicture("recom_GR", 200, 30, 30);
    WritePicture("recom_EN", 30, 30, 200);
}

void TBoxRecorder::ShowError(QWidget*, const QString& text)
{
    Shown.push_back({"error", text.toStdString()});
}

void TBoxRecorder::Information(QWidget*, const QString& text)
{
    Shown.push_back({"information", text.toStdString()});
}

bool TBoxRecorder::Confirm(QWidget*, const QString& text)
{
    Shown.push_back({"confirm", text.toStdString()});
    return ConfirmAnswer;
}
