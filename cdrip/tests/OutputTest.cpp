// What a rip leaves on disk: the output and its jitter file only when
// complete, an existing file of that name untouched otherwise, and the
// temporary files of killed writers cleared; also reads that deliver nothing
// yet.  A scripted library and encoder over real files.
#include "Scripted.h"
#include "ReplacingFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using scripted::Bytes;
using scripted::FolderNames;
using scripted::ReadFile;
using testing::ElementsAre;

namespace fs = std::filesystem;

namespace {

enum class Kind { Wav, Raw, Mp3 };

const char* KindName(Kind k)
{
    switch (k) {
    case Kind::Wav: return "Wav";
    case Kind::Raw: return "Raw";
    default: return "Mp3";
    }
}

mode_t Mode(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

std::string Text(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

class OutputTest : public testing::Test {
protected:
    OutputTest()
    {
        cd.drives[0].params = scripted::Params("D", 1, STEREO44100, -1, 0);
        cd.drives[0].toc = scripted::Toc({0, 100, 350});
        cd.readSize = 16;
        cd.jitterFirst = 11;
        cd.jitterLast = 12;
        ripper = std::make_unique<TCDRIP>(cd.Api(), files);
        ripper->OnEndTrack = [this](void*, uint16_t n) { events.push_back("end " + std::to_string(n)); };
        ripper->OnProgress = [this](void*, uint16_t) { events.push_back("progress"); };
    }

    // The output kind; returns the name the rip writes to.
    std::string Use(Kind kind)
    {
        ripper->SetWriteWAV(kind == Kind::Wav);
        if (kind == Kind::Mp3) {
            lameLib.samples = 4;
            ripper->SetCoder(&coder);
            ripper->SetEncode(true);
            return dir.Path("Track01.mp3");
        }
        return dir.Path("Track01.wav");
    }

    int Count(const std::string& event) const
    {
        return static_cast<int>(std::count(events.begin(), events.end(), event));
    }

    scripted::CdRip cd;
    scripted::LameEnc lameLib;
    TLameCoder coder{lameLib.Api()};
    scripted::RecordingFiles files;
    scripted::TempDir dir;
    std::unique_ptr<TCDRIP> ripper;
    std::vector<std::string> events;
};

// ---- a rip that does not complete ----

enum class Ending { Abort, ReadError, ShortWrite, CommitFails, LibraryThrows, EncoderRefuses };

const char* EndingName(Ending e)
{
    switch (e) {
    case Ending::Abort: return "Abort";
    case Ending::ReadError: return "ReadError";
    case Ending::ShortWrite: return "ShortWrite";
    case Ending::CommitFails: return "CommitFails";
    case Ending::LibraryThrows: return "LibraryThrows";
    default: return "EncoderRefuses";
    }
}

class UnfinishedRipTest : public OutputTest, public testing::WithParamInterface<std::tuple<Ending, Kind>> {};

// The user agreed to overwrite: the old file must survive every ending but
// completion, byte for byte and with its permissions, and nothing else may
// appear beside it (no temporary file, no jitter file).
TEST_P(UnfinishedRipTest, LeavesTheOldFileAsItWas)
{
    const auto [ending, kind] = GetParam();
    const std::string name = Use(kind);
    const std::string old = "old copy \r\n\x01\x02";
    scripted::WriteFile(name, old);
    ::chmod(name.c_str(), 0640);
    cd.reads = {{CDRIP_JITTER_ERROR, Bytes(16, 0)}, {0, Bytes(16, 16)}, {CDRIP_RIPPING_DONE, Bytes(16, 32)}};
    std::string expected;
    switch (ending) {
    case Ending::Abort:
        ripper->ProcessMessages = [this] {
            if (cd.Count("RipChunk") == 2)
                ripper->Abort();
        };
        break;
    case Ending::ReadError:
        cd.reads.resize(2);
        cd.whenExhausted = {CDRIP_ERROR, {}};
        expected = "Read error";
        break;
    case Ending::ShortWrite:
        files.failWrite = 2;
        expected = "Write error";
        break;
    case Ending::CommitFails:
        files.failCommit = name;
        expected = "Write error";
        break;
    case Ending::LibraryThrows:
        cd.reads.push_front({CDRIP_JITTER_ERROR, {}});
        cd.throwIn = "GetLastJitterErrorPosition";
        expected = "GetLastJitterErrorPosition";
        break;
    case Ending::EncoderRefuses:
        lameLib.initResult = 2;
        expected = "Initialization failure";
        break;
    }

    try {
        ripper->RipTrack(1, dir.Path("Track01.wav"));
        EXPECT_EQ(expected, "") << "no error";
    } catch (const std::exception& e) {
        EXPECT_THAT(e.what(), testing::HasSubstr(expected));
        EXPECT_FALSE(expected.empty()) << e.what();
    }
    EXPECT_EQ(Text(ReadFile(name)), old);
    EXPECT_EQ(Mode(name), 0640u);
    EXPECT_THAT(FolderNames(dir.Root()), ElementsAre(fs::path(name).filename().string()));
    EXPECT_TRUE(files.committed.empty());
    EXPECT_EQ(cd.Count("CloseRipper"), 1);
    EXPECT_EQ(Count("end 1"), ending == Ending::Abort ? 1 : 0);
}

// Every ending with every kind of output; only an MP3 rip opens the encoder.
std::vector<std::tuple<Ending, Kind>> Endings()
{
    std::vector<std::tuple<Ending, Kind>> all;
    for (Ending e :
         {Ending::Abort, Ending::ReadError, Ending::ShortWrite, Ending::CommitFails, Ending::LibraryThrows})
        for (Kind k : {Kind::Wav, Kind::Raw, Kind::Mp3})
            all.emplace_back(e, k);
    all.emplace_back(Ending::EncoderRefuses, Kind::Mp3);
    return all;
}

INSTANTIATE_TEST_SUITE_P(Endings, UnfinishedRipTest, testing::ValuesIn(Endings()),
                         [](const testing::TestParamInfo<std::tuple<Ending, Kind>>& p) {
                             return std::string(EndingName(std::get<0>(p.param))) +
                                    KindName(std::get<1>(p.param));
                         });

// ---- a rip that completes ----

class CompleteRipTest : public OutputTest, public testing::WithParamInterface<Kind> {};

TEST_P(CompleteRipTest, ReplacesTheOldFileKeepingItsPermissions)
{
    const std::string name = Use(GetParam());
    scripted::WriteFile(name, "old");
    ::chmod(name.c_str(), 0604);
    cd.reads = {{0, Bytes(16, 0)}, {CDRIP_RIPPING_DONE, Bytes(16, 16)}};
    ripper->RipTrack(1, dir.Path("Track01.wav"));
    const auto file = ReadFile(name);
    const size_t header = GetParam() == Kind::Wav ? 44 : 0;
    if (GetParam() == Kind::Mp3)
        EXPECT_EQ(Text(file), Text(Bytes(32, 0)) + "FLUSH");
    else
        EXPECT_EQ(std::vector<uint8_t>(file.begin() + static_cast<long>(header), file.end()), Bytes(32, 0));
    EXPECT_EQ(Mode(name), 0604u);
    EXPECT_THAT(FolderNames(dir.Root()), ElementsAre(fs::path(name).filename().string()));
    EXPECT_EQ(Count("end 1"), 1);
}

// The umask the process started with, not one a thread sets meanwhile.
TEST_P(CompleteRipTest, NewFileGetsTheUsualPermissions)
{
    const std::string name = Use(GetParam());
    const mode_t mask = ::umask(077);
    cd.reads = {{CDRIP_RIPPING_DONE, Bytes(16, 0)}};
    ripper->RipTrack(1, dir.Path("Track01.wav"));
    ::umask(mask);
    EXPECT_EQ(Mode(name), 0666u & ~mask);
}

INSTANTIATE_TEST_SUITE_P(Kinds, CompleteRipTest, testing::Values(Kind::Wav, Kind::Raw, Kind::Mp3),
                         [](const testing::TestParamInfo<Kind>& p) {
                             return std::string(KindName(p.param));
                         });

// A complete copy is never taken back because its jitter file failed: the
// copy stays, the track counts as finished, and the error follows.
struct JitterFailure {
    const char* Name;
    bool DirectoryInItsPlace;  // else its commit fails
};

class JitterFileFailureTest : public OutputTest, public testing::WithParamInterface<JitterFailure> {};

TEST_P(JitterFileFailureTest, KeepsTheCompleteCopyAndReportsTheError)
{
    const std::string name = Use(Kind::Wav);
    const std::string jitter = dir.Path("Track01jitt");
    if (GetParam().DirectoryInItsPlace)
        fs::create_directories(jitter + "/inside");
    else
        files.failCommit = jitter;
    cd.reads = {{CDRIP_JITTER_ERROR, Bytes(16, 0)}, {CDRIP_RIPPING_DONE, Bytes(16, 16)}};
    try {
        ripper->RipTrack(1, name);
        ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
        EXPECT_EQ(e.what(),
                  GetParam().DirectoryInItsPlace ? rtl::FileCreateErrorMessage(jitter) : "Write error");
    }
    const auto file = ReadFile(name);
    ASSERT_EQ(file.size(), 44u + 32);
    EXPECT_EQ(scripted::LE32(file, 40), 32u);
    EXPECT_EQ(Count("end 1"), 1);
    if (GetParam().DirectoryInItsPlace)
        EXPECT_THAT(FolderNames(dir.Root()), ElementsAre("Track01.wav", "Track01jitt"));
    else
        EXPECT_THAT(FolderNames(dir.Root()), ElementsAre("Track01.wav"));
    EXPECT_EQ(fs::is_directory(jitter), GetParam().DirectoryInItsPlace);
}

INSTANTIATE_TEST_SUITE_P(Causes, JitterFileFailureTest,
                         testing::Values(JitterFailure{"DirectoryInItsPlace", true},
                                         JitterFailure{"CommitFails", false}),
                         [](const testing::TestParamInfo<JitterFailure>& p) { return p.param.Name; });

// ---- reads that deliver nothing yet ----

// A script of reads: "F" a failed read, "Q" a quiet read (result 0, no
// bytes), "D" two bytes of data; each letter may carry a count, as "99F".
std::deque<scripted::Read> Script(const std::string& text)
{
    std::deque<scripted::Read> reads;
    size_t i = 0;
    while (i < text.size()) {
        size_t used = 0;
        const int count =
            std::isdigit(static_cast<unsigned char>(text[i])) ? std::stoi(text.substr(i), &used) : 1;
        i += used;
        const char what = text[i++];
        for (int n = 0; n < count; ++n)
            reads.push_back(what == 'F'   ? scripted::Read{CDRIP_ERROR, {}}
                            : what == 'Q' ? scripted::Read{0, {}}
                                          : scripted::Read{0, Bytes(2, 7)});
    }
    reads.push_back({CDRIP_RIPPING_DONE, {}});
    return reads;
}

struct QuietCase {
    const char* Name;
    const char* Reads;
    bool ReadError;
    int Chunks;  // RipChunk calls made
    size_t Bytes;
};

class QuietReadTest : public OutputTest, public testing::WithParamInterface<QuietCase> {};

// Only failed reads count towards the hundred in a row, and only data end
// such a run; a quiet read is neither, but still reports progress and lets
// the caller's events run, and writes nothing.
TEST_P(QuietReadTest, NeitherCountsNorResetsTheFailures)
{
    const QuietCase c = GetParam();
    cd.reads = Script(c.Reads);
    int pumps = 0;
    ripper->ProcessMessages = [&] { ++pumps; };
    bool failed = false;
    try {
        ripper->RipSectors(0, 10, dir.Path("t.raw"));
    } catch (const ECDRIPError& e) {
        failed = true;
        EXPECT_STREQ(e.what(), "Read error");
    }
    EXPECT_EQ(failed, c.ReadError);
    EXPECT_EQ(cd.Count("RipChunk"), c.Chunks);
    EXPECT_EQ(Count("progress"), c.ReadError ? c.Chunks - 1 : c.Chunks);
    EXPECT_EQ(pumps, Count("progress"));
    size_t written = 0;
    for (const auto& op : files.ops)
        written += op.bytes.size();
    EXPECT_EQ(written, c.Bytes);
    EXPECT_EQ(fs::exists(dir.Path("t.raw")), !c.ReadError);
}

INSTANTIATE_TEST_SUITE_P(Scripts, QuietReadTest,
                         testing::Values(QuietCase{"OnlyQuiet", "500Q", false, 501, 0},
                                         QuietCase{"QuietBetweenFailuresKeepsTheRun", "60F300Q40F", true, 400,
                                                   0},
                                         QuietCase{"QuietDoesNotAddToTheRun", "99F300QD", false, 401, 2},
                                         QuietCase{"DataEndsTheRun", "99FD10Q99FD", false, 211, 4},
                                         QuietCase{"QuietFirstThenAHundredFailures", "5Q100F", true, 105, 0}),
                         [](const testing::TestParamInfo<QuietCase>& p) { return p.param.Name; });

// ---- leftovers of killed writers ----

// Holds a file open with an exclusive flock, as a living writer does.
class THeld {
public:
    explicit THeld(const std::string& path) : FFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
    {
        EXPECT_GE(FFd, 0);
        EXPECT_EQ(::flock(FFd, LOCK_EX | LOCK_NB), 0);
    }
    ~THeld() { ::close(FFd); }

private:
    int FFd;
};

struct Leftover {
    const char* Case;
    const char* Name;
    bool Held;
    bool Folder;
    bool Removed;
};

class LeftoverTest : public OutputTest, public testing::WithParamInterface<Leftover> {};

TEST_P(LeftoverTest, NextRipIntoTheFolderRemovesOnlyDeadWritersFiles)
{
    const Leftover c = GetParam();
    const std::string path = dir.Path(c.Name);
    if (c.Folder)
        fs::create_directories(path);
    else
        scripted::WriteFile(path, "partial");
    std::unique_ptr<THeld> held = c.Held ? std::make_unique<THeld>(path) : nullptr;
    cd.reads = {{CDRIP_RIPPING_DONE, Bytes(4, 0)}};
    ripper->RipSectors(0, 10, dir.Path("Other.raw"));
    EXPECT_EQ(fs::exists(path), !c.Removed);
    EXPECT_TRUE(fs::exists(dir.Path("Other.raw")));
    EXPECT_THAT(files.sweeps, ElementsAre(dir.Path("Other.raw")));
}

INSTANTIATE_TEST_SUITE_P(
    Names, LeftoverTest,
    testing::Values(Leftover{"DeadWriter", ".Track01.wav.ripper-a1B2c3", false, false, true},
                    Leftover{"DeadAudioIniUpdate", ".Audio.ini.ripper-Zz09aa", false, false, true},
                    Leftover{"LivingWriter", ".Track01.wav.ripper-a1B2c3", true, false, false},
                    Leftover{"NotHidden", "Track01.wav.ripper-a1B2c3", false, false, false},
                    Leftover{"ShortTail", ".Track01.wav.ripper-a1B2c", false, false, false},
                    Leftover{"SignInTail", ".Track01.wav.ripper-a1-2c3", false, false, false},
                    Leftover{"OtherProgramsTemporary", "Audio.ini.a1B2c3", false, false, false},
                    Leftover{"Folder", ".Track01.wav.ripper-a1B2c3", false, true, false}),
    [](const testing::TestParamInfo<Leftover>& p) { return p.param.Case; });

// ---- names ----

struct NameCase {
    const char* Case;
    std::string Name;
};

class OutputNameTest : public OutputTest, public testing::WithParamInterface<NameCase> {};

TEST_P(OutputNameTest, CompleteRipAppearsUnderExactlyThatName)
{
    cd.reads = {{CDRIP_RIPPING_DONE, Bytes(4, 0)}};
    ripper->RipSectors(0, 10, dir.Path(GetParam().Name));
    EXPECT_THAT(FolderNames(dir.Root()), ElementsAre(GetParam().Name));
    EXPECT_EQ(ReadFile(dir.Path(GetParam().Name)), Bytes(4, 0));
}

INSTANTIATE_TEST_SUITE_P(Names, OutputNameTest,
                         testing::Values(NameCase{"Plain", "Track01.raw"}, NameCase{"Hidden", ".Track01.raw"},
                                         NameCase{"Umlauts", "Grüße Track01.raw"},
                                         NameCase{"LongestAllowed", std::string(250, 'a') + ".raw"}),
                         [](const testing::TestParamInfo<NameCase>& p) { return p.param.Case; });

// A link is followed: the file it names is replaced and the link kept.
TEST_F(OutputTest, SymbolicLinkKeepsPointingAtTheNewCopy)
{
    fs::create_directories(dir.Path("music"));
    scripted::WriteFile(dir.Path("music/real.raw"), "old");
    fs::create_symlink("music/real.raw", dir.Path("link.raw"));
    cd.reads = {{CDRIP_RIPPING_DONE, Bytes(4, 0)}};
    ripper->RipSectors(0, 10, dir.Path("link.raw"));
    EXPECT_TRUE(fs::is_symlink(dir.Path("link.raw")));
    EXPECT_EQ(ReadFile(dir.Path("music/real.raw")), Bytes(4, 0));
    EXPECT_THAT(FolderNames(dir.Path("music")), ElementsAre("real.raw"));
}

// Only a regular file is replaced: anything else under the name is refused
// at once (a pipe nobody reads would block for good) and stays.
struct SpecialCase {
    const char* Name;
    fs::file_type Type;
};

class SpecialFileTest : public OutputTest, public testing::WithParamInterface<SpecialCase> {};

TEST_P(SpecialFileTest, IsRefusedAtOnceAndStays)
{
    const std::string name = dir.Path("Track01.raw");
    if (GetParam().Type == fs::file_type::fifo)
        ASSERT_EQ(::mkfifo(name.c_str(), 0644), 0);
    else if (GetParam().Type == fs::file_type::directory)
        fs::create_directory(name);
    else
        fs::create_symlink("/dev/null", name);
    cd.reads = {{CDRIP_RIPPING_DONE, Bytes(4, 0)}};
    try {
        ripper->RipTrack(1, name);
        ADD_FAILURE() << "no error";
    } catch (const rtl::EFCreateError& e) {
        EXPECT_EQ(e.what(), rtl::FileCreateErrorMessage(name));
    }
    EXPECT_EQ(fs::status(name).type(), GetParam().Type);
    EXPECT_THAT(FolderNames(dir.Root()), ElementsAre("Track01.raw"));
    EXPECT_EQ(cd.Count("CloseRipper"), 1);
    EXPECT_EQ(Count("end 1"), 0);
}

INSTANTIATE_TEST_SUITE_P(Types, SpecialFileTest,
                         testing::Values(SpecialCase{"Fifo", fs::file_type::fifo},
                                         SpecialCase{"LinkToADevice", fs::file_type::character},
                                         SpecialCase{"Directory", fs::file_type::directory}),
                         [](const testing::TestParamInfo<SpecialCase>& p) { return p.param.Name; });

// The jitter file beside a copy is always that copy's: a complete rip
// without jitter lines in the component's lifetime removes an older one, an
// unfinished rip leaves it to the old copy it belongs to.  Each letter of
// Rips is a rip: 'J' with a jitter error, 'C' clean, 'A' aborted.
struct JitterRecord {
    const char* Name;
    const char* Rips;
    const char* Expected;  // the jitter file afterwards
};

class JitterRecordTest : public OutputTest, public testing::WithParamInterface<JitterRecord> {};

TEST_P(JitterRecordTest, BelongsToTheCopyBesideIt)
{
    const std::string jitter = dir.Path("Track01jitt");
    scripted::WriteFile(jitter, "1 2\r\n");
    for (const char* rip = GetParam().Rips; *rip; ++rip) {
        cd.reads = {{*rip == 'J' ? CDRIP_JITTER_ERROR : 0, Bytes(16, 0)},
                    {CDRIP_RIPPING_DONE, Bytes(16, 16)}};
        ripper->ProcessMessages = [this, rip] {
            if (*rip == 'A')
                ripper->Abort();
        };
        ripper->RipTrack(1, Use(Kind::Raw));
    }
    EXPECT_EQ(fs::exists(jitter) ? Text(ReadFile(jitter)) : "none", GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Rips, JitterRecordTest,
                         testing::Values(JitterRecord{"CleanCopyRemovesIt", "C", "none"},
                                         JitterRecord{"CopyWithJitterReplacesIt", "J", "11 12\r\n"},
                                         JitterRecord{"AbortedCopyLeavesIt", "A", "1 2\r\n"},
                                         JitterRecord{"CleanCopyAfterAJitterCopyKeepsTheLines", "JC",
                                                      "11 12\r\n"}),
                         [](const testing::TestParamInfo<JitterRecord>& p) { return p.param.Name; });

// What a process removes of its own files when it must end without
// unwinding: the unfinished ones, never a committed one.
TEST_F(OutputTest, OwnTemporariesGoOnRequestCommittedFilesStay)
{
    os::TReplacingFile done(dir.Path("done.raw"));
    ASSERT_TRUE(done.Commit());
    os::TReplacingFile open(dir.Path("open.raw"));
    const std::string temp = open.TempPath();
    ASSERT_TRUE(fs::exists(temp));
    EXPECT_TRUE(os::IsTemporaryName(fs::path(temp).filename().string())) << temp;
    os::RemoveOwnTemporaries();
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_THAT(FolderNames(dir.Root()), ElementsAre("done.raw"));
}

}  // namespace
