// The drive list: its order, the virtual drives, and a listing of emulated
// drives that sends them nothing.
#include <cddrives/CdDrives.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

TEST(CdDrives, ImageListSkipsEmptyEntries)
{
    EXPECT_EQ(cddrives::SplitImageList("::a.cue::b/c.cue:"), (std::vector<std::string>{"a.cue", "b/c.cue"}));
    EXPECT_TRUE(cddrives::SplitImageList("").empty());
}

TEST(CdDrives, VirtualDrivesFollowRealOnesInListOrder)
{
    const testsupport::TEnvGuard env("CDRIP_IMAGES", "/x/one.cue::/y/two.cue");
    const std::vector<cddrives::Drive> drives = cddrives::ListDrives();
    ASSERT_GE(drives.size(), 2u);
    const size_t real = drives.size() - 2;
    for (size_t i = 0; i < real; ++i)
        EXPECT_FALSE(drives[i].isImage);
    for (size_t i = 1; i < real; ++i)
        EXPECT_LT(drives[i - 1].path, drives[i].path);
    EXPECT_EQ(drives[real].path, "/x/one.cue");
    EXPECT_EQ(drives[real + 1].path, "/y/two.cue");
    EXPECT_TRUE(drives[real].isImage && drives[real + 1].isImage);
}

// Opening an sr node makes the kernel send the drive commands; the list is
// made on the dialog's thread and must not.  The emulator logs every open.
TEST(CdDrivesEmulatedDrives, ListingOpensNoDevice)
{
    const testsupport::TTempDir dir;
    testsupport::TEnvGuard env("FAKEDRIVE",
                               "/dev/sr3=" + dir.Path() + "/t3.cue;/dev/sr0=" + dir.Path() + "/t0.cue");
    env.Set("FAKEDRIVE_LINKS", "/dev/cdrom=/dev/sr3");
    env.Set("FAKEDRIVE_LOG", dir.Path() + "/log");
    env.Set("CDRIP_IMAGES", std::nullopt);
    env.Set("CDRIP_IMAGES_ONLY", "0");

    const std::vector<cddrives::Drive> drives = cddrives::ListDrives();
    ASSERT_EQ(drives.size(), 2u) << "needs LD_PRELOAD=<build>/bin/libfakedrive.so (ctest sets it)";
    EXPECT_EQ(drives[0].path, "/dev/sr0");
    EXPECT_EQ(drives[1].path, "/dev/sr3");
    std::ifstream log(dir.Path() + "/log");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(log), {}), "");
}

}  // namespace
