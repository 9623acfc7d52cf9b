// The process-wide record of the platform family and the standard folders,
// read once at start from the registry and the environment.
#pragma once

#include "SystemApi.h"

#include <string>

class TWindowsInfo {
public:
    // Reads through the Linux answers of LinuxSystemApi().
    TWindowsInfo();
    // Reads through `api`, used only during construction. Registry errors
    // (a value of the wrong type, a value that cannot be fetched) propagate.
    explicit TWindowsInfo(const TSystemApi& api);

    std::string Desktop;
    std::string Favorites;
    std::string Fonts;
    std::string NetHood;
    std::string Personal;
    std::string Programs;
    std::string Recent;
    std::string SendTo;
    std::string StartMenu;
    std::string Startup;
    std::string Templates;
    std::string Cache;
    std::string LogonUserName;
    std::string SystemRoot;
    std::string WindowsVersion;
    std::string ProgramFilesDir;
    std::string CommonFilesDir;
    std::string MediaPath;
    std::string TempDir;
    std::string WabFileName;
    std::string AppData;
};

// Valid between InitializeSystemInfo and FinalizeSystemInfo.
extern TWindowsInfo* WindowsInfo;

// Creates WindowsInfo; called by main before the dialog exists. Errors of
// the construction propagate and leave WindowsInfo null.
void InitializeSystemInfo();
// Frees WindowsInfo.
void FinalizeSystemInfo();
