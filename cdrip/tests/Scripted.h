// A scripted extraction library, a scripted encoder library and a file system
// that records every write and can cut one short.  They stand in for the real
// ones only where a test checks the component's call contract.
#pragma once

#include "TestSupport.h"
#include "CDRIP.h"

#include <deque>
#include <map>
#include <string>
#include <vector>

namespace scripted {

struct Drive {
    TCDRomParameters params{};
    int32_t paramsResult = 0;
    int32_t tocResult = 0;
    std::vector<TTocEntry> toc;        // n tracks + the lead-out entry
    std::vector<int32_t> lastSectors;  // per track; none: the library cannot tell
};

struct Read {
    int32_t status;
    std::vector<uint8_t> bytes;
};

// The extraction library.  Every call is logged as "Name args"; the call
// named in throwIn raises instead of answering.
struct CdRip {
    std::vector<std::string> log;
    std::string throwIn;
    int32_t version = 111;
    int32_t initResult = 0;
    int32_t active = 0;
    std::map<int32_t, Drive> drives;
    int32_t setParamsResult = 0;
    TCDRomParameters lastSetParams{};
    int32_t openResult = 0;
    int32_t readSize = 64;
    std::deque<Read> reads;
    Read whenExhausted{CDRIP_RIPPING_DONE, {}};
    int32_t percent = 0;
    int32_t jitterFirst = 0;
    int32_t jitterLast = 0;
    int32_t jitterCount = 0;

    CdRip();
    ~CdRip();
    const cdrip::TCdRipApi& Api() const;
    int Count(const std::string& call) const;  // calls whose log line starts with `call`
};

// Builds a table of contents from start sectors, the last being the lead-out.
std::vector<TTocEntry> Toc(const std::vector<int32_t>& starts, uint8_t flags = 0x10);
TCDRomParameters Params(const std::string& id, int32_t speed, int32_t format, int32_t jitter,
                        int32_t tableBase);

// The encoder library.  EncodeChunk hands the PCM bytes back as "MP3" bytes;
// the flush gives the bytes of flushBytes.
struct LameEnc {
    std::vector<std::string> log;
    uint32_t initResult = 0;
    uint32_t samples = 4;
    uint32_t bufferSize = 64;
    std::string flushBytes = "FLUSH";

    LameEnc();
    ~LameEnc();
    const lame::TLameEncApi& Api() const;
};

// Real files, with every write recorded; write number failWrite (1-based,
// counted over all files) comes up one byte short, and the commit of the file
// named failCommit fails.  With seekable false the files behave like a pipe:
// WriteAt fails and writes nothing.
class RecordingFiles : public cdrip::TFileSystem {
public:
    struct Op {
        std::string file;
        uint64_t offset;  // UINT64_MAX for a sequential write
        std::vector<uint8_t> bytes;
    };
    std::vector<Op> ops;
    std::vector<std::string> created;
    std::vector<std::string> committed;
    std::vector<std::string> sweeps;  // RemoveStale calls
    int failWrite = 0;
    std::string failCommit;
    int writes = 0;
    bool seekable = true;

    std::unique_ptr<cdrip::TOutputFile> Create(const std::string& fileName) override;
    void RemoveStale(const std::string& fileName) override;
    bool Remove(const std::string& fileName) override { return cdrip::DiskFileSystem().Remove(fileName); }
};

// A fresh folder under the test temp dir, removed with its files at the end.
class TempDir {
public:
    std::string Path(const std::string& name) const { return FDir.Path() + "/" + name; }
    const std::string& Root() const { return FDir.Path(); }

private:
    testsupport::TTempDir FDir;
};

std::vector<uint8_t> ReadFile(const std::string& path);
// The names in `folder`, sorted, hidden ones included.
std::vector<std::string> FolderNames(const std::string& folder);
bool FileExists(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
std::vector<uint8_t> Bytes(size_t count, uint8_t first);  // first, first+1, ...
uint32_t LE32(const std::vector<uint8_t>& b, size_t offset);
uint16_t LE16(const std::vector<uint8_t>& b, size_t offset);
// "STEREO44100" … "MONO11025", for the names of test cases.
std::string FormatName(TOutputFormat format);

// Readers of our copies that are not their writer.
using Texts = std::map<std::string, std::string>;
// A walk over a WAV file's chunks: their ids in order, the texts of a
// LIST/INFO chunk by key (a text without its terminating NUL ends in
// "<no NUL>"), and whether the walk ended exactly at the file's end.
struct RiffWalk {
    std::vector<std::string> Chunks;
    Texts Info;
    bool EndsAtFileEnd = false;
};
RiffWalk WalkRiff(const std::vector<uint8_t>& file);

}  // namespace scripted
