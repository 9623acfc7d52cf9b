// The files the ripper writes, noted as it creates them, so that the dialog
// can remove exactly what an aborted or failed rip left behind (the partial
// output and its jitter file) and never a file the rip did not touch.
#pragma once

#include "CDRIP.h"

#include <string>
#include <vector>

class TRipFiles : public cdrip::TFileSystem {
public:
    explicit TRipFiles(cdrip::TFileSystem& files = cdrip::StdioFileSystem()) : FFiles(files) {}

    std::unique_ptr<cdrip::TOutputFile> Create(const std::string& fileName) override
    {
        auto file = FFiles.Create(fileName);
        FCreated.push_back(fileName);
        return file;
    }
    bool Remove(const std::string& fileName) override { return FFiles.Remove(fileName); }

    // Forgets what earlier rips created.
    void StartRip() { FCreated.clear(); }
    // Removes every file created since StartRip; failures are ignored.
    void RemoveCreated()
    {
        for (const std::string& name : FCreated)
            FFiles.Remove(name);
        FCreated.clear();
    }

private:
    cdrip::TFileSystem& FFiles;
    std::vector<std::string> FCreated;
};
