// The plain rules behind the dialog's start-up: where the slideshow's
// per-user files live, which language a name stands for, how the program
// folder is taken from the program's path and how a text gets its product
// name. None of them needs a window.
#pragma once

#include <string>

namespace ripper {

// "GERMAN" exactly (letter case, blanks and all) means German; every other
// language name, the empty one included, means English.
bool IsGerman(const std::string& language);

// "Fotaria" for German, "Photaria" otherwise.
std::string ProductName(const std::string& language);

// Folder of the wizard picture beside the program: "recom_GR" for German,
// "recom_EN" otherwise.
std::string WizardFolder(const std::string& language);

// The slideshow's per-user folder below an application-data folder given
// without a trailing slash: appData + "/NORVELA/Fotaria/".
std::string FotariaUserFolder(const std::string& appData);

// The folder of a program file, ending in exactly one separator: the path up
// to its last "/", "\" or ":"; that separator dropped unless it follows a
// colon; one separator appended unless there is one. "/opt/x/Ripper" gives
// "/opt/x/", "/Ripper" gives "/", "C:\Ripper.exe" gives "C:\", "C:Ripper.exe"
// gives "C:\". A path written with backslashes or a drive colon gets "\",
// any other "/".
std::string ProgramDirOf(const std::string& programFile);

// The installed data folder as seen from the program's folder (a program in
// <prefix>/bin has its data in <prefix>/share/ripper/), so that an installed
// tree finds its data wherever it is moved. Ends in "/".
std::string InstalledDataDir(const std::string& programDir);

// The wizard picture for `language`: the one beside the program when that
// file exists, else the one in `dataDir` when that exists. With neither,
// the path beside the program, so the error names where the picture belongs.
std::string WizardPicturePath(const std::string& programDir, const std::string& dataDir,
                              const std::string& language);

// Replaces the first "$PRG_NAME$" of `text`, found in any ASCII letter case,
// by `productName`. The search compares bytes, so letters like "ß" before
// the placeholder never move the cut.
std::string ReplaceProductName(const std::string& text, const std::string& productName);

}  // namespace ripper
