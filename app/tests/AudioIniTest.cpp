// The plain rules of a rip: Audio.ini appended without losing a byte, the
// numbered name for a kept file, and the CD drives among the machine's roots.
#include "AudioIni.h"
#include "DriveRoots.h"
#include "RipNaming.h"
#include "Rtl.h"

#include <QStringEncoder>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
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

// UTF-16 in the given byte order, as Qt encodes it.
std::string Utf16(const char16_t* text, bool bigEndian)
{
    return QByteArray(QStringEncoder(bigEndian ? QStringEncoder::Utf16BE
                                               : QStringEncoder::Utf16LE)(QStringView(text)))
        .toStdString();
}

// Lines the slideshow wrote on Windows (Windows-1252, any line ending) keep
// their bytes, only the endings become CR LF; a UTF-16 file keeps all its
// bytes and gets the line in its own byte order; a file with a second name
// is appended in place, its old bytes untouched.  Mode, owner and group stay.
struct TContent {
    const char* Name;
    std::string Old;
    bool HardLinked;
    std::string Expected;
};

class AudioIniContentTest : public AudioIniTest, public testing::WithParamInterface<TContent> {};

TEST_P(AudioIniContentTest, KeepsTheOldBytesModeAndOwnerAndAddsTheLine)
{
    WriteAll(Path, GetParam().Old);
    ::chmod(Path.c_str(), 0604);
    [[maybe_unused]] const int chowned = ::chown(Path.c_str(), 4321, 4321);  // as root: another user's file
    if (GetParam().HardLinked)
        std::filesystem::create_hard_link(Path, Folder + "/Other.ini");
    struct stat before {};
    struct stat after {};
    ::stat(Path.c_str(), &before);
    ripper::AppendAudioIniLine(Path, "Grüße_Track01.wav");
    ::stat(Path.c_str(), &after);
    EXPECT_EQ(ReadAll(Path), GetParam().Expected);
    EXPECT_EQ(std::tie(after.st_mode, after.st_uid, after.st_gid, after.st_nlink),
              std::tie(before.st_mode, before.st_uid, before.st_gid, before.st_nlink));
    EXPECT_EQ(FolderEntries(Folder).size(), GetParam().HardLinked ? 2u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Files, AudioIniContentTest,
    testing::Values(TContent{"Windows1252AnyEnding",
                             "M\xFCller \xE4\xF6.mp3\nZweite.wav\rDritte.wav\r\nLetzte.wav", false,
                             "M\xFCller \xE4\xF6.mp3\r\nZweite.wav\r\nDritte.wav\r\nLetzte.wav\r\n"
                             "Gr\xC3\xBC\xC3\x9F"
                             "e_Track01.wav\r\n"},
                    TContent{"Utf16LittleEndian", Utf16(u"\uFEFFM\u00FCller.mp3\r\n", false), false,
                             Utf16(u"\uFEFFM\u00FCller.mp3\r\nGr\u00FC\u00DFe_Track01.wav\r\n", false)},
                    TContent{"Utf16BigEndianWithoutLastBreak", Utf16(u"\uFEFFM\u00FCller.mp3", true), false,
                             Utf16(u"\uFEFFM\u00FCller.mp3\r\nGr\u00FC\u00DFe_Track01.wav\r\n", true)},
                    TContent{"HardLinkAppendedInPlace", "A.wav\nB.wav", true,
                             "A.wav\nB.wav\r\nGr\xC3\xBC\xC3\x9F"
                             "e_Track01.wav\r\n"}),
    [](const testing::TestParamInfo<TContent>& p) { return std::string(p.param.Name); });

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

// Only a regular file of a sane size is read or replaced (a pipe would block
// for good, a link to /dev/zero would be read without end), and a folder
// another update holds is waited for only so long: each fails with a clear
// message, the name stays as it was and no temporary file stays behind.
struct TRefused {
    const char* Name;
    const char* Message;
};

class AudioIniRefusedTest : public AudioIniTest, public testing::WithParamInterface<TRefused> {};

TEST_P(AudioIniRefusedTest, FailsAndLeavesTheNameAsItWas)
{
    const std::string name = GetParam().Name;
    int holder = -1;
    if (name == "Directory")
        std::filesystem::create_directories(Path + "/inside");
    else if (name == "Fifo")
        ASSERT_EQ(::mkfifo(Path.c_str(), 0644), 0);
    else if (name == "LinkToADevice")
        std::filesystem::create_symlink("/dev/zero", Path);
    else
        WriteAll(Path, "A.wav\r\n");
    if (name == "TooLarge")
        std::filesystem::resize_file(Path, 17 << 20);
    if (name == "HeldByAnotherUpdate") {
        holder = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    }
    const auto type = std::filesystem::symlink_status(Path).type();
    try {
        ripper::AppendAudioIniLine(Path, "B.wav");
        ADD_FAILURE() << "no error";
    } catch (const rtl::Exception& e) {
        EXPECT_THAT(e.what(), testing::EndsWith(GetParam().Message));
    }
    ::close(holder);
    EXPECT_EQ(std::filesystem::symlink_status(Path).type(), type);
    EXPECT_EQ(FolderEntries(Folder), std::vector<std::string>{"Audio.ini"});
}

INSTANTIATE_TEST_SUITE_P(Names, AudioIniRefusedTest,
                         testing::Values(TRefused{"Directory", "kann nicht erstellt werden"},
                                         TRefused{"Fifo", "kann nicht erstellt werden"},
                                         TRefused{"LinkToADevice", "/dev/zero kann nicht erstellt werden"},
                                         TRefused{"TooLarge", "/Audio.ini ist zu groß"},
                                         TRefused{
                                             "HeldByAnotherUpdate",
                                             "/Audio.ini wird gerade von einem anderen Programm benutzt"}),
                         [](const testing::TestParamInfo<TRefused>& p) { return std::string(p.param.Name); });

// Two processes append many lines at once: no line is lost, each process's
// lines keep their order, and a reader that takes no lock always finds the
// file whole (whole lines, never fewer than before).
TEST_F(AudioIniTest, TwoProcessesAppendingAtOnceLoseNoLine)
{
    constexpr int kLines = 100;
    std::string expected[2];
    for (const int w : {0, 1}) {
        for (int i = 0; i < kLines; ++i)
            expected[w] += "AB"[w] + std::to_string(i) + "\r\n";
        if (::fork() == 0) {
            try {
                for (int i = 0; i < kLines; ++i)
                    ripper::AppendAudioIniLine(Path, "AB"[w] + std::to_string(i));
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        }
    }
    long seen = 0;
    for (int ended = 0, status = 0; ended < 2;) {
        const std::string text = ReadAll(Path);
        const long lines = std::count(text.begin(), text.end(), '\n');
        ASSERT_TRUE(lines >= seen && (text.empty() || text.back() == '\n')) << text;
        seen = lines;
        if (::waitpid(-1, &status, WNOHANG) > 0) {
            EXPECT_EQ(status, 0);
            ++ended;
        }
    }
    std::string lines[2];  // each writer's, in the file's order
    std::istringstream text(ReadAll(Path));
    for (std::string line; std::getline(text, line);)
        lines[line[0] == 'B'] += line + "\n";
    EXPECT_EQ(lines[0], expected[0]);
    EXPECT_EQ(lines[1], expected[1]);
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
