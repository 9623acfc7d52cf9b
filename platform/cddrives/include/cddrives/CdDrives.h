// The one numbering of CD drives shared by the extraction library and the
// program's drive list: the real drives, sorted by device name, then one
// virtual drive per entry of CDRIP_IMAGES (a ':'-separated list of paths;
// empty entries are skipped).  A virtual drive is a tray: a disc image at the
// path is a disc in the drive, nothing there is an empty drive, and replacing
// the file or symlink is changing the disc.
//
// Real drives are every /dev/sr0 .. /dev/sr31 that exists as a block device,
// and the block devices that /dev/cdrom and /dev/dvd lead to, each under its
// resolved name (udev's /dev/cdrom gives /dev/sr0, never a second entry).
// Listing never opens a device: opening an sr node makes the kernel talk to
// the drive, and the list is made on the dialog's thread.  A device the user
// may not read (most often: not in group cdrom) is listed all the same, with
// the reason in `problem`; it never holds a readable disc.
//
// CDRIP_IMAGES_ONLY=1 (any value but empty or "0") hides the real drives, so
// that the numbering holds the virtual drives alone; the test suite sets it.
//
// The library is shared (libcddrives.so), so the process has one list, made
// once and again only when asked: the extraction library asks in CR_Init,
// the program's drive letters take the list as it is.
#ifndef CDDRIVES_CDDRIVES_H
#define CDDRIVES_CDDRIVES_H

#include <string>
#include <vector>

#define CDDRIVES_API __attribute__((visibility("default")))

namespace cddrives {

struct Drive {
    std::string path;  // device node, or the tray path as written in CDRIP_IMAGES
    bool isImage = false;
    // Why a real drive cannot be used, e.g. "no permission: add yourself to
    // group cdrom"; empty when the user may read it.
    std::string problem;
};

// Lists the drives now, from the environment and the device nodes; touches
// no drive.
CDDRIVES_API std::vector<Drive> ListDrives();

// The process's list: made by the first call of either, then kept until
// RefreshDrives() makes it anew.  Both are safe from any thread.
CDDRIVES_API std::vector<Drive> Drives();
CDDRIVES_API std::vector<Drive> RefreshDrives();

// True when CDRIP_IMAGES_ONLY hides the real drives.
CDDRIVES_API bool ImagesOnly();

// Orders device names with their numbers compared as numbers: /dev/sr2
// before /dev/sr10.
CDDRIVES_API bool DeviceNameLess(const std::string& a, const std::string& b);

// Splits a CDRIP_IMAGES value into its non-empty entries.
CDDRIVES_API std::vector<std::string> SplitImageList(const std::string& value);

// The path libcdio should open for a virtual drive: the tray path with any
// symlink resolved, because libcdio reads "<cue base name>.bin" beside the
// name it is given.  Empty when nothing is at the tray path.
CDDRIVES_API std::string ResolveTray(const std::string& trayPath);

}  // namespace cddrives

#endif
