// Audio.ini in the slideshow folder: the list of copied files the slideshow
// offers as background music, one name per line.
#pragma once

#include <string>

namespace ripper {

// Appends `name` (UTF-8) as a line.  Every update of ours holds an exclusive
// lock from the read to the replacement (an flock on the file's folder), so
// two updates at once never lose a line; it waits up to 5 s for the lock and
// then fails with "Datei ... wird gerade von einem anderen Programm
// benutzt".
//
// The file is read as bytes (at most 16 MiB: a larger file is refused) and
// written whole to a temporary file in the same folder, which then replaces
// the old file by a rename, with its mode, owner and group; the folder is
// synced before the call returns, so that the line survives a power cut.  A
// reader that takes no lock sees the old file or the new one, whole.  An
// 8-bit file is split at CR LF, LF or CR and every line written back with CR
// LF, the bytes of the lines kept as they are whatever their encoding; a
// file that starts with a UTF-16 byte-order mark keeps all its bytes and
// gets the line in UTF-16 of that byte order.  A file with more than one
// name (hard links) is appended in place instead, so that every name sees
// the line: its bytes stay as they are and only the line is added (after a
// line break when the last line has none) and synced.
//
// On any failure the old file stays as it was, no temporary file is left
// behind and an rtl::Exception tells what went wrong.  A missing file is
// created.  A symbolic link is followed: the file it names is replaced, the
// link kept.  Only a regular file is read or replaced: a folder, a pipe or a
// device under that name is refused at once.  A read-only file (no write
// permission, or none for this user) is the user's choice: it is refused
// with an error and left alone.  Temporary files of updates that were
// killed are removed first.
void AppendAudioIniLine(const std::string& path, const std::string& name);

// The new contents: the lines of `existing` (split at CR LF, LF or CR, bytes
// kept) and then `name`, each ended by CR LF; for UTF-16 `existing` followed
// by AudioIniTail.
std::string AudioIniWithLine(const std::string& existing, const std::string& name);

// What appending `name` adds after `existing` when that stays as it is: a
// line break when its last line has none, then `name` and CR LF, in UTF-16
// of the file's byte order when it starts with one's mark.
std::string AudioIniTail(const std::string& existing, const std::string& name);

}  // namespace ripper
