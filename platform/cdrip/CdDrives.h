// The one numbering of CD drives shared by the extraction library and the
// program's drive list: the real drives libcdio finds, sorted by device name,
// then one virtual drive per entry of CDRIP_IMAGES (a ':'-separated list of
// paths; empty entries are skipped).  A virtual drive is a tray: a disc image
// at the path is a disc in the drive, nothing there is an empty drive, and
// replacing the file or symlink is changing the disc.
#ifndef CDRIP_CDDRIVES_H
#define CDRIP_CDDRIVES_H

#include <string>
#include <vector>

namespace cddrives {

struct Drive {
    std::string path;   // device node, or the tray path as written in CDRIP_IMAGES
    bool isImage = false;
};

// Builds the list anew on every call (reads CDRIP_IMAGES and asks libcdio).
std::vector<Drive> ListDrives();

// Splits a CDRIP_IMAGES value into its non-empty entries.
std::vector<std::string> SplitImageList(const std::string& value);

// The path libcdio should open for a virtual drive: the tray path with any
// symlink resolved, because libcdio reads "<cue base name>.bin" beside the
// name it is given.  Empty when nothing is at the tray path.
std::string ResolveTray(const std::string& trayPath);

// Routes libcdio's log to our handler, which drops everything unless
// CDRIP_DEBUG=1 is set at the first call (then messages from the info level
// up go to stderr, prefixed "cdrip").  libcdio's own handler
// prints to stdout and calls exit() on errors, so this must run before any
// other libcdio call; it is idempotent and ListDrives() calls it itself.
void InstallLogHandler();

}  // namespace cddrives

#endif
