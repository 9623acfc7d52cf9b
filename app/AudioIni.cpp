#include "AudioIni.h"

#include "PathNames.h"
#include "ReplacingFile.h"
#include "Rtl.h"
#include "TextFile.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

namespace ripper {

namespace {

std::string ReadExisting(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 && errno == ENOENT)
        return {};
    const std::optional<std::string> bytes = os::ReadFileBytes(path);
    if (!bytes)
        throw rtl::EFOpenError(rtl::FileOpenErrorMessage(path));
    return *bytes;
}

// A file without any write permission, or one this user may not write, was
// made read-only on purpose: a rename would replace it all the same.
bool ReadOnly(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0;
}

}  // namespace

std::string AudioIniWithLine(const std::string& existing, const std::string& name)
{
    std::vector<std::string> lines = os::SplitLines(existing);
    lines.push_back(name);
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

void AppendAudioIniLine(const std::string& linkOrPath, const std::string& name)
{
    const std::string path = os::LinkTarget(linkOrPath);
    if (ReadOnly(path))
        throw rtl::EInOutError("Datei " + path + " ist schreibgeschützt");
    const std::string text = AudioIniWithLine(ReadExisting(path), name);

    os::RemoveStaleTemporaries(util::FolderOf(path));
    os::TReplacingFile file(path);
    if (!file.Write(text.data(), text.size())) {
        file.Discard();
        throw rtl::EInOutError("Fehler beim Schreiben von " + path);
    }
    if (!file.Commit())
        throw rtl::EFCreateError(rtl::FileCreateErrorMessage(path));
}

}  // namespace ripper
