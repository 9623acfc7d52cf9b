#include "Scripted.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace scripted {
namespace {

CdRip* g_cd = nullptr;
LameEnc* g_lame = nullptr;

CdRip& Cd(const std::string& line)
{
    g_cd->log.push_back(line);
    const std::string name = line.substr(0, line.find(' '));
    if (!g_cd->throwIn.empty() && g_cd->throwIn == name)
        throw std::runtime_error("scripted failure in " + name);
    return *g_cd;
}

Drive* ActiveDrive()
{
    auto it = g_cd->drives.find(g_cd->active);
    return it == g_cd->drives.end() ? nullptr : &it->second;
}

int32_t GetCDRipVersion() { return Cd("GetCDRipVersion").version; }
int32_t Init() { return Cd("Init").initResult; }
int32_t GetActiveCDROM() { return Cd("GetActiveCDROM").active; }

int32_t SetActiveCDROM(int32_t drive)
{
    CdRip& cd = Cd("SetActiveCDROM " + std::to_string(drive));
    if (!cd.drives.count(drive))
        return CDRIP_ERROR;
    cd.active = drive;
    return CDRIP_OK;
}

int32_t GetCDROMParameters(TCDRomParameters* params)
{
    Cd("GetCDROMParameters");
    Drive* d = ActiveDrive();
    if (!d || d->paramsResult == CDRIP_ERROR)
        return CDRIP_ERROR;
    *params = d->params;
    return d->paramsResult;
}

int32_t SetCDROMParameters(TCDRomParameters* params)
{
    CdRip& cd = Cd("SetCDROMParameters");
    cd.lastSetParams = *params;
    return cd.setParamsResult;
}

int32_t ReadToc()
{
    Cd("ReadToc");
    Drive* d = ActiveDrive();
    return d ? d->tocResult : CDRIP_ERROR;
}

int32_t GetNumTocEntries()
{
    Cd("GetNumTocEntries");
    Drive* d = ActiveDrive();
    return d && !d->toc.empty() ? static_cast<int32_t>(d->toc.size()) - 1 : 0;
}

TTocEntry GetTocEntry(int32_t index)
{
    Cd("GetTocEntry " + std::to_string(index));
    Drive* d = ActiveDrive();
    if (!d || index < 0 || static_cast<size_t>(index) >= d->toc.size())
        throw std::out_of_range("no such entry");
    return d->toc[static_cast<size_t>(index)];
}

int32_t OpenRipper(int32_t* readSize, int32_t start, int32_t end)
{
    CdRip& cd = Cd("OpenRipper " + std::to_string(start) + " " + std::to_string(end));
    if (cd.openResult != CDRIP_ERROR)
        *readSize = cd.readSize;
    return cd.openResult;
}

int32_t RipChunk(uint8_t* buffer, int32_t* delivered)
{
    CdRip& cd = Cd("RipChunk");
    Read r = cd.whenExhausted;
    if (!cd.reads.empty()) {
        r = cd.reads.front();
        cd.reads.pop_front();
    }
    if (r.bytes.size() > static_cast<size_t>(cd.readSize))
        throw std::logic_error("script delivers more than the read size");
    if (!r.bytes.empty())
        std::memcpy(buffer, r.bytes.data(), r.bytes.size());
    *delivered = static_cast<int32_t>(r.bytes.size());
    return r.status;
}

int32_t GetPercentCompleted() { return Cd("GetPercentCompleted").percent; }
int32_t GetNumberOfJitterErrors() { return Cd("GetNumberOfJitterErrors").jitterCount; }

void GetLastJitterErrorPosition(int32_t* first, int32_t* last)
{
    CdRip& cd = Cd("GetLastJitterErrorPosition");
    *first = cd.jitterFirst;
    *last = cd.jitterLast;
}

int32_t CloseRipper()
{
    Cd("CloseRipper");
    return CDRIP_OK;
}

int32_t GetTrackLastSector(int32_t index, int32_t* lastSector)
{
    Cd("GetTrackLastSector " + std::to_string(index));
    const Drive* d = ActiveDrive();
    if (!d || index < 0 || static_cast<size_t>(index) >= d->lastSectors.size())
        return CDRIP_ERROR;
    *lastSector = d->lastSectors[static_cast<size_t>(index)];
    return CDRIP_OK;
}

const cdrip::TCdRipApi CdApi = {
    GetCDRipVersion,
    Init,
    GetActiveCDROM,
    SetActiveCDROM,
    GetCDROMParameters,
    SetCDROMParameters,
    ReadToc,
    GetNumTocEntries,
    GetTocEntry,
    OpenRipper,
    RipChunk,
    GetPercentCompleted,
    GetNumberOfJitterErrors,
    GetLastJitterErrorPosition,
    CloseRipper,
    nullptr,  // the component never sets how the drive is read
    nullptr,  // nor says why a disc cannot be read
    GetTrackLastSector,
    nullptr,  // no CD-Text
};

// ---- encoder ----

void BeVersion(TBEVersion* v)
{
    g_lame->log.push_back("Version");
    *v = TBEVersion{};
}

uint32_t BeInitStream(TBEConfig*, uint32_t* samples, uint32_t* bufferSize, uint32_t* handle)
{
    g_lame->log.push_back("InitStream");
    if (g_lame->initResult != 0)
        return g_lame->initResult;
    *samples = g_lame->samples;
    *bufferSize = g_lame->bufferSize;
    *handle = 7;
    return 0;
}

uint32_t BeEncodeChunk(uint32_t, uint32_t count, const int16_t* pcm, uint8_t* out, uint32_t* outBytes)
{
    g_lame->log.push_back("EncodeChunk " + std::to_string(count));
    const size_t n = std::min<size_t>(count * 2u, g_lame->bufferSize);
    std::memcpy(out, pcm, n);
    *outBytes = static_cast<uint32_t>(n);
    return 0;
}

uint32_t BeDeinitStream(uint32_t, uint8_t* out, uint32_t* outBytes)
{
    g_lame->log.push_back("DeinitStream");
    const std::string& f = g_lame->flushBytes;
    const size_t n = std::min<size_t>(f.size(), g_lame->bufferSize);
    std::memcpy(out, f.data(), n);
    *outBytes = static_cast<uint32_t>(n);
    return 0;
}

uint32_t BeCloseStream(uint32_t)
{
    g_lame->log.push_back("CloseStream");
    return 0;
}

const lame::TLameEncApi LameApi = {BeVersion, BeInitStream, BeEncodeChunk, BeDeinitStream, BeCloseStream};

// ---- files ----

class RecordingFile : public cdrip::TOutputFile {
public:
    RecordingFile(RecordingFiles& owner, std::string name, std::unique_ptr<cdrip::TOutputFile> inner)
        : FOwner(owner), FName(std::move(name)), FInner(std::move(inner))
    {}

    size_t Write(const void* data, size_t size) override
    {
        const bool cut = ++FOwner.writes == FOwner.failWrite && size > 0;
        const size_t n = cut ? size - 1 : size;
        const auto* p = static_cast<const uint8_t*>(data);
        FOwner.ops.push_back({FName, UINT64_MAX, std::vector<uint8_t>(p, p + n)});
        return FInner->Write(data, n);
    }

    bool WriteAt(uint64_t offset, const void* data, size_t size) override
    {
        if (!FOwner.seekable)
            return false;
        const auto* p = static_cast<const uint8_t*>(data);
        FOwner.ops.push_back({FName, offset, std::vector<uint8_t>(p, p + size)});
        return FInner->WriteAt(offset, data, size);
    }

    bool Commit() override
    {
        if (FName == FOwner.failCommit)
            return false;  // the inner file is dropped uncommitted
        FOwner.committed.push_back(FName);
        return FInner->Commit();
    }

private:
    RecordingFiles& FOwner;
    std::string FName;
    std::unique_ptr<cdrip::TOutputFile> FInner;
};

}  // namespace

CdRip::CdRip() { g_cd = this; }
CdRip::~CdRip() { g_cd = nullptr; }
const cdrip::TCdRipApi& CdRip::Api() const { return CdApi; }

int CdRip::Count(const std::string& call) const
{
    int n = 0;
    for (const std::string& line : log)
        n += line.compare(0, call.size(), call) == 0;
    return n;
}

LameEnc::LameEnc() { g_lame = this; }
LameEnc::~LameEnc() { g_lame = nullptr; }
const lame::TLameEncApi& LameEnc::Api() const { return LameApi; }

std::vector<TTocEntry> Toc(const std::vector<int32_t>& starts, uint8_t flags)
{
    std::vector<TTocEntry> toc;
    for (size_t i = 0; i < starts.size(); ++i) {
        TTocEntry e{};
        e.StartSector = starts[i];
        e.Flags = i + 1 < starts.size() ? flags : 0x10;
        e.TrackNumber = static_cast<uint8_t>(i + 1);
        toc.push_back(e);
    }
    return toc;
}

TCDRomParameters Params(const std::string& id, int32_t speed, int32_t format, int32_t jitter,
                        int32_t tableBase)
{
    TCDRomParameters p{};
    std::memset(&p, 0xA5, sizeof p);  // bytes the component must leave alone
    std::memset(p.CDROMID, 0, sizeof p.CDROMID);
    std::memcpy(p.CDROMID, id.data(), std::min(id.size(), sizeof p.CDROMID - 1));
    p.Speed = speed;
    p.JitterCorrection = jitter;
    for (int i = 0; i < 7; ++i)
        p.DriveTable[i] = tableBase + i;
    CR_SetParamOutputFormat(&p, format);
    return p;
}

std::unique_ptr<cdrip::TOutputFile> RecordingFiles::Create(const std::string& fileName)
{
    auto inner = cdrip::DiskFileSystem().Create(fileName);
    created.push_back(fileName);
    return std::make_unique<RecordingFile>(*this, fileName, std::move(inner));
}

void RecordingFiles::RemoveStale(const std::string& fileName)
{
    sweeps.push_back(fileName);
    cdrip::DiskFileSystem().RemoveStale(fileName);
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

std::vector<std::string> FolderNames(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<uint8_t> Bytes(size_t count, uint8_t first)
{
    std::vector<uint8_t> b(count);
    for (size_t i = 0; i < count; ++i)
        b[i] = static_cast<uint8_t>(first + i);
    return b;
}

uint32_t LE32(const std::vector<uint8_t>& b, size_t o)
{
    return b[o] | (b[o + 1] << 8) | (b[o + 2] << 16) | (static_cast<uint32_t>(b[o + 3]) << 24);
}

uint16_t LE16(const std::vector<uint8_t>& b, size_t o)
{
    return static_cast<uint16_t>(b[o] | (b[o + 1] << 8));
}

std::string FormatName(TOutputFormat format)
{
    switch (format) {
    case STEREO44100: return "STEREO44100";
    case MONO44100: return "MONO44100";
    case STEREO22050: return "STEREO22050";
    case MONO22050: return "MONO22050";
    case STEREO11025: return "STEREO11025";
    case MONO11025: return "MONO11025";
    }
    return "Format" + std::to_string(static_cast<int>(format));
}

RiffWalk WalkRiff(const std::vector<uint8_t>& file)
{
    RiffWalk walk;
    const auto text = [&](size_t at, size_t n) {
        return std::string(file.begin() + at, file.begin() + at + n);
    };
    size_t at = 12;
    while (at + 8 <= file.size()) {
        const uint32_t size = LE32(file, at + 4);
        if (at + 8 + size > file.size())
            return walk;
        walk.Chunks.push_back(text(at, 4));
        for (size_t sub = at + 12;
             text(at, 4) == "LIST" && text(at + 8, 4) == "INFO" && sub + 8 <= at + 8 + size;) {
            const uint32_t n = LE32(file, sub + 4);
            if (n == 0 || sub + 8 + n > at + 8 + size)
                return walk;
            const bool terminated = file[sub + 8 + n - 1] == 0;
            walk.Info[text(sub, 4)] = terminated ? text(sub + 8, n - 1) : text(sub + 8, n) + "<no NUL>";
            sub += 8 + n + n % 2;
        }
        at += 8 + size + size % 2;
    }
    walk.EndsAtFileEnd = at == file.size();
    return walk;
}

}  // namespace scripted
