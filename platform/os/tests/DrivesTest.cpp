#include <cddrives/CdDrives.h>
#include "Drives.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

using os::TDriveEntry;

// Two CD drives with a hard disk between them.
const std::vector<TDriveEntry> kMixed = {
    {'C', os::DRIVE_FIXED}, {'D', os::DRIVE_CDROM}, {'E', os::DRIVE_FIXED}, {'F', os::DRIVE_CDROM}};

std::string RootsOf(const std::vector<TDriveEntry>& drives)
{
    std::string roots;
    for (const TDriveEntry& d : drives)
        roots += std::string{d.Letter, ':', '\\', '\0'};
    return roots + '\0';
}

struct TBufferCase {
    const char* Name;
    std::uint32_t BufferLength;
    std::uint32_t Expected;
    bool Filled;
};

class DriveStrings : public ::testing::TestWithParam<TBufferCase> {};

TEST_P(DriveStrings, WindowsBufferRules)
{
    std::string buffer(40, '#');
    const std::uint32_t result = os::DriveStringsOf(kMixed, GetParam().BufferLength, buffer.data());
    EXPECT_EQ(result, GetParam().Expected);
    if (GetParam().Filled)
        EXPECT_EQ(buffer.substr(0, 17), RootsOf(kMixed));
    else
        EXPECT_EQ(buffer, std::string(40, '#')) << "a too small buffer stays untouched";
}

INSTANTIATE_TEST_SUITE_P(Cases, DriveStrings,
                         ::testing::Values(TBufferCase{"Roomy", 40, 16, true},
                                           TBufferCase{"Exact", 17, 16, true},
                                           TBufferCase{"NoRoomForFinalNul", 16, 17, false},
                                           TBufferCase{"Tiny", 1, 17, false},
                                           TBufferCase{"None", 0, 17, false}),
                         [](const auto& p) { return std::string(p.param.Name); });

struct TTypeCase {
    const char* Root;
    std::uint32_t Expected;
};

class DriveType : public ::testing::TestWithParam<TTypeCase> {};

TEST_P(DriveType, AnswersPerRoot)
{
    EXPECT_EQ(os::DriveTypeOf(kMixed, GetParam().Root), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Roots, DriveType,
    ::testing::Values(TTypeCase{"C:\\", os::DRIVE_FIXED}, TTypeCase{"D:\\", os::DRIVE_CDROM},
                      TTypeCase{"E:\\", os::DRIVE_FIXED}, TTypeCase{"f:\\", os::DRIVE_CDROM},
                      TTypeCase{"F:", os::DRIVE_CDROM}, TTypeCase{"G:\\", os::DRIVE_NO_ROOT_DIR},
                      TTypeCase{"D:\\Musik", os::DRIVE_NO_ROOT_DIR}, TTypeCase{"", os::DRIVE_NO_ROOT_DIR},
                      TTypeCase{nullptr, os::DRIVE_FIXED}),
    [](const auto& p) {
        if (!p.param.Root)
            return std::string("Null");
        std::string name;
        for (const char* c = p.param.Root; *c; ++c)
            name += *c == ':' ? "Colon" : *c == '\\' ? "Backslash" : std::string(1, *c);
        return name.empty() ? std::string("Empty") : name;
    });

class SystemDrives : public ::testing::Test {
protected:
    void SetUp() override
    {
        FEnv.Set("CDRIP_IMAGES", FDir.Path() + "/tray1:" + FDir.Path() + "/tray2");
        cddrives::RefreshDrives();
    }

    testsupport::TTempDir FDir;
    testsupport::TEnvGuard FEnv;
};

TEST_F(SystemDrives, FixedRootThenOneCdLetterPerNumberedDrive)
{
    const std::vector<cddrives::Drive> numbered = cddrives::ListDrives();
    ASSERT_GE(numbered.size(), 2u);
    ASSERT_TRUE(numbered[numbered.size() - 2].isImage && numbered.back().isImage);

    char buffer[129];
    const std::uint32_t length = os::GetLogicalDriveStrings(sizeof buffer, buffer);
    ASSERT_EQ(length, 4 * (numbered.size() + 1));
    const std::string roots(buffer, length + 1);
    ASSERT_EQ(roots.substr(0, 4), std::string("C:\\\0", 4));
    EXPECT_EQ(os::GetDriveType("C:\\"), os::DRIVE_FIXED);
    for (std::size_t i = 0; i < numbered.size(); ++i) {
        const std::string root = roots.substr(4 * (i + 1), 4);
        const std::string expected{static_cast<char>('D' + i), ':', '\\', '\0'};
        EXPECT_EQ(root, expected) << "CD drive " << i;
        EXPECT_EQ(os::GetDriveType(root.c_str()), os::DRIVE_CDROM) << root;
    }
    EXPECT_EQ(roots.back(), '\0');
    const std::string next{static_cast<char>('D' + numbered.size()), ':', '\\'};
    EXPECT_EQ(os::GetDriveType(next.c_str()), os::DRIVE_NO_ROOT_DIR);
}

// The letters follow the process's one drive list, not a listing of their own.
TEST_F(SystemDrives, FollowTheDriveListOnlyWhenItIsMadeAgain)
{
    const std::uint32_t withImages = os::GetLogicalDriveStrings(0, nullptr);
    FEnv.Set("CDRIP_IMAGES", FDir.Path() + "/tray1");
    EXPECT_EQ(os::GetLogicalDriveStrings(0, nullptr), withImages);
    cddrives::RefreshDrives();
    EXPECT_EQ(os::GetLogicalDriveStrings(0, nullptr), withImages - 4);
}

TEST_F(SystemDrives, TableCallsTheSystem)
{
    const os::TDriveApi api = os::SystemDriveApi();
    EXPECT_EQ(api.GetLogicalDriveStrings(0, nullptr), os::GetLogicalDriveStrings(0, nullptr));
    EXPECT_EQ(api.GetDriveType("C:\\"), os::DRIVE_FIXED);
}

TEST(SysErrorMessage, GermanTextWithoutFullStop)
{
    EXPECT_EQ(os::SysErrorMessage(os::ERROR_OUTOFMEMORY),
              "Nicht gen\u00fcgend Speicher verf\u00fcgbar, um diesen Vorgang abzuschlie\u00dfen");
    EXPECT_EQ(os::SysErrorMessage(12345), "Systemfehler. Code: 12345");
}

}  // namespace
