// Audio.ini in the slideshow folder: the list of copied files the slideshow
// offers as background music, one name per line.
#pragma once

#include <string>

namespace ripper {

// Appends `name` (UTF-8) as a line. The file is read as bytes and split at
// CR LF, LF or CR; every line is written back with CR LF to a temporary file
// in the same folder, which then replaces the old file by a rename. Bytes of
// the existing lines are kept as they are, whatever their encoding. On any
// failure the old file stays as it was, no temporary file is left behind and
// an rtl::Exception tells what went wrong. A missing file is created. A
// symbolic link is followed: the file it names is replaced, the link kept.
// A read-only file (no write permission, or none for this user) is the
// user's choice: it is refused with an error and left alone. Temporary
// files of updates that were killed are removed first.
void AppendAudioIniLine(const std::string& path, const std::string& name);

// The new contents: the lines of `existing` (split at CR LF, LF or CR, bytes
// kept) and then `name`, each ended by CR LF.
std::string AudioIniWithLine(const std::string& existing, const std::string& name);

}  // namespace ripper
