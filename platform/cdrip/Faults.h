// Fault injection for tests on disc images (internal).  Off unless asked for,
// and only ever for virtual drives: a real drive is read as it is.
//
// A plan is read at CR_OpenRipper from the environment variable CDRIP_FAULTS
// and from a file "<tray path>.faults" beside a virtual drive's image; both
// are lists of items separated by commas, blanks or new lines:
//
//   jitter@S          the read holding sector S returns 3; both jitter
//                     numbers are S (merged with anything paranoia reported)
//   unreadable@A-B    every read touching sectors A..B returns 1 (persistent)
//   unreadable@A-BxN  the same, but only the first N attempts fail
//   unreadable@S      a single sector (xN allowed too)
//   fail-all          every read returns 1
//   fail-open         CR_OpenRipper returns 1
//   slow=MS           every read takes MS milliseconds longer (interruptible)
//   stuck-read=MS     every read blocks MS milliseconds longer, and closing
//                     the extraction cannot interrupt it (a drive stuck in a
//                     command)
//   stuck-open=MS     the opening work blocks MS milliseconds longer, alike
//   paranoia-jitter   ask paranoia's own test mode to simulate drive jitter
//                     (only with jitter correction on)
//
// Unknown items are ignored (and logged when CDRIP_DEBUG=1).
#ifndef CDRIP_FAULTS_H
#define CDRIP_FAULTS_H

#include <cstdint>
#include <string>
#include <vector>

namespace cdrip {

struct FaultPlan {
    struct Unreadable {
        int32_t first = 0;
        int32_t last = 0;
        int remaining = -1;  // failed attempts left; -1 = persistent
    };
    std::vector<int32_t> jitterAt;
    std::vector<Unreadable> unreadable;
    bool failAll = false;
    bool failOpen = false;
    int slowMs = 0;
    int stuckReadMs = 0;
    int stuckOpenMs = 0;
    bool paranoiaJitter = false;

    // Adds the items of one description.
    void Parse(const std::string& text);

    // True when a read of first..last must fail now; counts the attempt.
    bool ReadFails(int32_t first, int32_t last);

    // The injected jitter sectors inside first..last: {lowest, highest}, or
    // {-1, -1} when there are none.
    std::pair<int32_t, int32_t> JitterIn(int32_t first, int32_t last) const;
};

// The plan for a virtual drive: CDRIP_FAULTS plus "<tray path>.faults" if
// present.  Empty for a real drive.
FaultPlan LoadFaultPlan(const std::string& trayPath, bool isImage);

}  // namespace cdrip

#endif
