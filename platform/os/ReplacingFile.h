// Files that appear under their final names only when complete, and stay
// there after a power cut.
//
// The bytes go to a hidden temporary file beside the final name,
// ".Track03.wav.ripper-XXXXXX", which a rename puts in the final name's place
// once everything is written and stored; the folder is then synced, so that
// the new name survives a power cut before anything that relies on it is
// written.  Until the rename an existing file of that name stays exactly as
// it was; a process that dies leaves only the hidden file, which
// RemoveStaleTemporaries clears later.  Its owner holds an exclusive flock on
// the temporary file for as long as it lives, so that a second program (or a
// second Ripper) never removes a file still being written.  The calls that
// create, write, sync, lock, rename or remove go through FileCalls(), all
// but the signal handler's unlink in RemoveOwnTemporaries.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Makes the entries of `folder` (renames, removals) durable.  A file system
// that cannot sync a folder (EINVAL) counts as done.  An empty name means the
// current folder.
bool SyncFolder(const std::string& folder);

// Writes all of `data` to `fd`, resuming after a signal or a partial write;
// false when that failed.
bool WriteAll(int fd, const void* data, size_t size);

// Removes the regular file `path` (a symbolic link followed as for writing)
// and syncs its folder.  Nothing there, or no regular file, is no error.
bool RemoveFile(const std::string& path);

struct TOwnSlot;

class TReplacingFile {
public:
    // Opens a temporary file for `finalName`; a symbolic link there is
    // followed, so that the file it names is replaced and the link kept.
    // Raises rtl::EFCreateError naming `finalName` when that is impossible,
    // and at once when the name holds something other than a regular file (a
    // folder, a pipe, a device): only regular files are replaced.
    explicit TReplacingFile(const std::string& finalName);
    // Removes the temporary file unless Commit succeeded.
    ~TReplacingFile();
    TReplacingFile(const TReplacingFile&) = delete;
    TReplacingFile& operator=(const TReplacingFile&) = delete;

    const std::string& TempPath() const { return FTempPath; }

    // Writes all of `data` after what was written, or at `offset`; false
    // when that failed.
    bool Write(const void* data, size_t size);
    bool WriteAt(uint64_t offset, const void* data, size_t size);

    // Gives the file the mode, owner and group of the file it replaces (the
    // owner and group where this process may set them), else the mode of a
    // new file; stores it on the disk, renames it to the final name and
    // syncs the folder.  False when any of that failed: when it failed
    // before the rename the temporary file is gone and the final name
    // untouched; when only the folder sync failed the new file is in place
    // but may not survive a power cut.
    bool Commit();
    // Closes and removes the temporary file (idempotent).
    void Discard();

private:
    bool TakeOverAttributes();

    TOwnSlot* FSlot = nullptr;  // this file's entry for RemoveOwnTemporaries
    std::string FTarget;        // the final name, symbolic links followed
    std::string FTempPath;
    int FFd = -1;
};

}  // namespace os
