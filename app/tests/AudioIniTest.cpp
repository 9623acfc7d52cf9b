// The plain rules of a rip: Audio.ini appended without losing a byte, the
// numbered name for a kept file, and the CD drives among the machine's roots.
#include "AudioIni.h"
#include "DriveRoots.h"
#include "RipNaming.h"
#include "Rtl.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

class AudioIniTest : public testing::Test {
protected:
    QTemporaryDir Temp;
    std::string Folder = Temp.path().toStdString();
    std::string Path = Folder + "/Audio.ini";
};

TEST_F(AudioIniTest, MissingFileIsCreatedWithOneCrLfLine)
{
    ripper::AppendAudioIniLine(Path, "Track03.mp3");
    EXPECT_EQ(ReadAll(Path), "Track03.mp3\r\n");
    EXPECT_EQ(FolderEntries(Folder), std::vector<std::string>{"Audio.ini"});
}

// Lines the slideshow wrote on Windows (Windows-1252, any line ending) keep
// their bytes; only the endings become CR LF.
TEST_F(AudioIniTest, ExistingBytesAreKeptAndEveryLineEndsInCrLf)
{
    WriteAll(Path, "M\xFCller \xE4\xF6.mp3\nZweite.wav\rDritte.wav\r\nLetzte ohne Ende.wav");
    ripper::AppendAudioIniLine(Path, "Grüße_Track01.wav");
    EXPECT_EQ(ReadAll(Path), "M\xFCller \xE4\xF6.mp3\r\nZweite.wav\r\nDritte.wav\r\nLetzte ohne Ende.wav\r\n"
                             "Gr\xC3\xBC\xC3\x9F"
                             "e_Track01.wav\r\n");
}

TEST_F(AudioIniTest, KeepsThePermissionsOfTheOldFile)
{
    WriteAll(Path, "A.wav\r\n");
    std::filesystem::permissions(Path,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    ripper::AppendAudioIniLine(Path, "B.wav");
    EXPECT_EQ(std::filesystem::status(Path).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

// Audio.ini kept elsewhere behind a symbolic link: the file it names gets
// the line, and the link stays a link.
TEST_F(AudioIniTest, SymbolicLinkIsFollowedAndKept)
{
    const std::string elsewhere = Folder + "/elsewhere";
    std::filesystem::create_directories(elsewhere);
    WriteAll(elsewhere + "/Audio.ini", "A.wav\r\n");
    std::filesystem::create_symlink("elsewhere/Audio.ini", Path);

    ripper::AppendAudioIniLine(Path, "B.wav");

    EXPECT_TRUE(std::filesystem::is_symlink(Path));
    EXPECT_EQ(ReadAll(elsewhere + "/Audio.ini"), "A.wav\r\nB.wav\r\n");
    EXPECT_EQ(FolderEntries(elsewhere), std::vector<std::string>{"Audio.ini"});
}

// A name that cannot be replaced (here a folder called Audio.ini) fails with
// a message, and no temporary file stays behind.
TEST_F(AudioIniTest, FailureLeavesNoTemporaryFile)
{
    std::filesystem::create_directories(Path + "/inside");
    EXPECT_THROW(ripper::AppendAudioIniLine(Path, "A.wav"), rtl::Exception);
    EXPECT_EQ(FolderEntries(Folder), std::vector<std::string>{"Audio.ini"});
    EXPECT_TRUE(std::filesystem::is_directory(Path + "/inside"));
}

TEST_F(AudioIniTest, MissingFolderFailsWithTheCreateMessage)
{
    const std::string path = Folder + "/nowhere/Audio.ini";
    try {
        ripper::AppendAudioIniLine(path, "A.wav");
        ADD_FAILURE() << "no error";
    } catch (const rtl::Exception& e) {
        EXPECT_EQ(std::string(e.what()), "Datei " + path + " kann nicht erstellt werden");
    }
}

// Without any write permission Audio.ini is read-only by the user's choice:
// refused with a message, its bytes and mode untouched.
struct TIniMode {
    const char* Name;
    std::filesystem::perms Mode;
    bool Refused;
};

class AudioIniModeTest : public AudioIniTest, public testing::WithParamInterface<TIniMode> {};

TEST_P(AudioIniModeTest, ReadOnlyIsRefusedOthersAreUpdated)
{
    WriteAll(Path, "A.wav\r\n");
    std::filesystem::permissions(Path, GetParam().Mode);
    try {
        ripper::AppendAudioIniLine(Path, "B.wav");
        EXPECT_FALSE(GetParam().Refused) << "no error";
    } catch (const rtl::Exception& e) {
        EXPECT_TRUE(GetParam().Refused) << e.what();
        EXPECT_EQ(std::string(e.what()), "Datei " + Path + " ist schreibgeschützt");
    }
    EXPECT_EQ(ReadAll(Path), GetParam().Refused ? "A.wav\r\n" : "A.wav\r\nB.wav\r\n");
    EXPECT_EQ(std::filesystem::status(Path).permissions(), GetParam().Mode);
    EXPECT_EQ(FolderEntries(Folder), std::vector<std::string>{"Audio.ini"});
}

using P = std::filesystem::perms;
INSTANTIATE_TEST_SUITE_P(
    Modes, AudioIniModeTest,
    testing::Values(TIniMode{"ReadOnlyForAll", P::owner_read | P::group_read | P::others_read, true},
                    TIniMode{"OwnerReadOnly", P::owner_read, true},
                    TIniMode{"NoPermissionAtAll", P::none, true},
                    TIniMode{"OwnerWritable", P::owner_read | P::owner_write | P::group_read, false}),
    [](const testing::TestParamInfo<TIniMode>& p) { return std::string(p.param.Name); });

// An update killed midway left its hidden temporary file; the next update
// clears it.  Files of other programs stay.
TEST_F(AudioIniTest, TemporaryOfAKilledUpdateIsRemovedOthersStay)
{
    WriteAll(Folder + "/.Audio.ini.ripper-x1Y2z3", "half");
    WriteAll(Folder + "/Audio.ini.backup", "kept");
    ripper::AppendAudioIniLine(Path, "A.wav");
    std::vector<std::string> names = FolderEntries(Folder);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Audio.ini", "Audio.ini.backup"}));
}

// Draws again while the numbered name is taken, and gives up after a bound.
TEST(RipNaming, RandomNameIsDrawnAgainWhileTaken)
{
    std::vector<uint32_t> draws{42, 42, 0, 99999998};
    std::vector<uint32_t> bounds;
    size_t next = 0;
    const ripper::TRandomDraw draw = [&](uint32_t bound) {
        bounds.push_back(bound);
        return draws.at(next++);
    };
    const std::set<std::string> taken{"/d/42_Track01.wav", "/d/0_Track01.wav"};
    const auto exists = [&](const std::string& name) { return taken.count(name) > 0; };

    EXPECT_EQ(ripper::RandomOutputName("/d", "/d/Track01.wav", draw, exists), "/d/99999998_Track01.wav");
    EXPECT_EQ(bounds, std::vector<uint32_t>(4, 99999999u));
}

TEST(RipNaming, RandomNameGivesUpWhenEveryDrawIsTaken)
{
    int calls = 0;
    const ripper::TRandomDraw draw = [&](uint32_t) { return static_cast<uint32_t>(++calls % 3); };
    EXPECT_THROW(
        ripper::RandomOutputName("/d", "/d/Track01.wav", draw, [](const std::string&) { return true; }),
        rtl::Exception);
    EXPECT_EQ(calls, ripper::kRandomNameDraws);
}

os::TDriveApi ScriptedDrives(std::vector<os::TDriveEntry> drives)
{
    return {[drives](uint32_t length, char* buffer) { return os::DriveStringsOf(drives, length, buffer); },
            [drives](const char* root) { return os::DriveTypeOf(drives, root); }};
}

TEST(CdRomRoots, CdDrivesInLetterOrderPastAHardDisk)
{
    const auto roots = ripper::CdRomRoots(ScriptedDrives({{'A', os::DRIVE_REMOVABLE},
                                                          {'C', os::DRIVE_FIXED},
                                                          {'D', os::DRIVE_CDROM},
                                                          {'E', os::DRIVE_FIXED},
                                                          {'F', os::DRIVE_CDROM}}));
    EXPECT_EQ(roots, (std::vector<std::string>{"D:\\", "F:\\"}));
}

// 26 roots need 105 characters and fit; the call reporting more than the
// buffer holds is the system's "not enough storage".
TEST(CdRomRoots, FullAlphabetFitsTooLongFails)
{
    std::vector<os::TDriveEntry> all;
    for (char c = 'A'; c <= 'Z'; ++c)
        all.push_back({c, os::DRIVE_CDROM});
    EXPECT_EQ(ripper::CdRomRoots(ScriptedDrives(all)).size(), 26u);

    const os::TDriveApi tooLong{[](uint32_t, char*) { return uint32_t{130}; },
                                [](const char*) { return os::DRIVE_CDROM; }};
    try {
        ripper::CdRomRoots(tooLong);
        ADD_FAILURE() << "no error";
    } catch (const rtl::Exception& e) {
        EXPECT_EQ(std::string(e.what()), os::SysErrorMessage(14));
    }
    const os::TDriveApi none{[](uint32_t, char*) { return uint32_t{0}; },
                             [](const char*) { return os::DRIVE_CDROM; }};
    EXPECT_TRUE(ripper::CdRomRoots(none).empty());
}

}  // namespace
