// The one numbering of CD drives shared by the extraction library and the
// program's drive list: the real drives, sorted by device name, then one
// virtual drive per entry of CDRIP_IMAGES (a ':'-separated list of paths;
// empty entries are skipped).  A virtual drive is a tray: a disc image at the
// path is a disc in the drive, nothing there is an empty drive, and replacing
// the file or symlink is changing the disc.
//
// Real drives are the ones libcdio finds plus every /dev/sr0 .. /dev/sr31
// that exists as a block device, each under its resolved name (a udev link
// such as /dev/cdrom gives /dev/sr0, and never a second entry).  A device
// that exists but cannot be opened (most often: the user is not in group
// cdrom) is listed all the same, with the reason in `problem`; it never
// holds a readable disc.
//
// CDRIP_IMAGES_ONLY=1 (any value but empty or "0") hides the real drives, so
// that the numbering holds the virtual drives alone; the test suite sets it.
#ifndef CDRIP_CDDRIVES_H
#define CDRIP_CDDRIVES_H

#include <string>
#include <vector>

namespace cddrives {

struct Drive {
    std::string path;  // device node, or the tray path as written in CDRIP_IMAGES
    bool isImage = false;
    // Why a real drive cannot be used, e.g. "no permission: add yourself to
    // group cdrom"; empty when it opened.
    std::string problem;
};

// Builds the list anew on every call (reads CDRIP_IMAGES and
// CDRIP_IMAGES_ONLY, asks libcdio and probes the device nodes).
std::vector<Drive> ListDrives();

// True when CDRIP_IMAGES_ONLY hides the real drives.
bool ImagesOnly();

// Orders device names with their numbers compared as numbers: /dev/sr2
// before /dev/sr10.
bool DeviceNameLess(const std::string& a, const std::string& b);

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
