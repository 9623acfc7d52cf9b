// Files that appear under their final names only when complete.
//
// The bytes go to a hidden temporary file beside the final name,
// ".Track03.wav.ripper-XXXXXX", which a rename puts in the final name's place
// once everything is written and stored.  Until then an existing file of that
// name stays exactly as it was; a process that dies leaves only the hidden
// file, which RemoveStaleTemporaries clears later.  Its owner holds an
// exclusive flock on the temporary file for as long as it lives, so that a
// second program (or a second Ripper) never removes a file still being
// written.
#pragma once

#include <string>

namespace os {

// True for a name (without folder) of the form ".NAME.ripper-XXXXXX", six
// letters or digits at the end.
bool IsTemporaryName(const std::string& name);

// Removes the temporary files in `folder` that no living process holds;
// failures are ignored.  An empty folder name means the current folder.
void RemoveStaleTemporaries(const std::string& folder);

// Removes the temporary files this process has open, for a process about to
// end without unwinding (after a signal).  Async-signal-safe; may run on any
// thread.
void RemoveOwnTemporaries() noexcept;

// The file a symbolic link names (all links resolved); any other path, and a
// dangling link, as it is.
std::string LinkTarget(const std::string& path);

struct TOwnSlot;

class TReplacingFile {
public:
    // Opens a temporary file for `finalName`; a symbolic link there is
    // followed, so that the file it names is replaced and the link kept.  A
    // final name that exists and is no regular file (a device, a pipe) is
    // written directly: there is nothing to replace.  Raises
    // rtl::EFCreateError naming `finalName` when neither is possible.
    explicit TReplacingFile(const std::string& finalName);
    // Removes the temporary file unless Commit succeeded.
    ~TReplacingFile();
    TReplacingFile(const TReplacingFile&) = delete;
    TReplacingFile& operator=(const TReplacingFile&) = delete;

    int Fd() const { return FFd; }
    const std::string& TempPath() const { return FTempPath; }
    bool Direct() const { return FDirect; }

    // Stores the bytes on the disk, gives the file the permissions of the
    // file it replaces (else the usual ones for a new file) and renames it to
    // the final name.  False when any of that failed; the temporary file is
    // then gone and the final name untouched.
    bool Commit();
    // Closes and removes the temporary file (idempotent).
    void Discard();

private:
    TOwnSlot* FSlot = nullptr;  // this file's entry for RemoveOwnTemporaries
    std::string FTarget;        // the final name, symbolic links followed
    std::string FTempPath;      // empty when writing directly
    int FFd = -1;
    bool FDirect = false;
};

}  // namespace os
