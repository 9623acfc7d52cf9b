#include "RipperRules.h"

#include <filesystem>
#include <system_error>

#ifndef RIPPER_DATA_FROM_BIN
#error "RIPPER_DATA_FROM_BIN: the data folder relative to the program folder, set by the build"
#endif

namespace ripper {
namespace {

constexpr char kPlaceholder[] = "$PRG_NAME$";
constexpr std::size_t kPlaceholderLength = sizeof(kPlaceholder) - 1;

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

bool IsGerman(const std::string& language) { return language == "GERMAN"; }

std::string ProductName(const std::string& language) { return IsGerman(language) ? "Fotaria" : "Photaria"; }

std::string WizardFolder(const std::string& language) { return IsGerman(language) ? "recom_GR" : "recom_EN"; }

std::string FotariaUserFolder(const std::string& appData) { return appData + "/NORVELA/Fotaria/"; }

std::string ProgramDirOf(const std::string& programFile)
{
    const bool windowsForm =
        programFile.find('/') == std::string::npos && programFile.find_first_of("\\:") != std::string::npos;
    const char separator = windowsForm ? '\\' : '/';

    const std::size_t last = programFile.find_last_of("/\\:");
    std::string dir = last == std::string::npos ? std::string() : programFile.substr(0, last + 1);
    if (!dir.empty() && IsSeparator(dir.back()) && !(dir.size() >= 2 && dir[dir.size() - 2] == ':'))
        dir.pop_back();
    if (dir.empty() || !IsSeparator(dir.back()))
        dir += separator;
    return dir;
}

std::string InstalledDataDir(const std::string& programDir)
{
    std::string dir = std::filesystem::path(programDir + RIPPER_DATA_FROM_BIN).lexically_normal().string();
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

std::string WizardPicturePath(const std::string& programDir, const std::string& dataDir,
                              const std::string& language)
{
    const std::string picture = WizardFolder(language) + "/wizard.jpg";
    std::error_code error;
    if (std::filesystem::exists(programDir + picture, error) || dataDir.empty())
        return programDir + picture;
    if (std::filesystem::exists(dataDir + picture, error))
        return dataDir + picture;
    return programDir + picture;
}

std::string ReplaceProductName(const std::string& text, const std::string& productName)
{
    if (text.size() < kPlaceholderLength)
        return text;
    for (std::size_t pos = 0; pos + kPlaceholderLength <= text.size(); ++pos) {
        std::size_t k = 0;
        while (k < kPlaceholderLength && UpperAscii(text[pos + k]) == kPlaceholder[k])
            ++k;
        if (k == kPlaceholderLength)
            return text.substr(0, pos) + productName + text.substr(pos + kPlaceholderLength);
    }
    return text;
}

}  // namespace ripper
