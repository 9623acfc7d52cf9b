// The extraction of one sector range into one file.
#include "CDRIP.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <utility>

namespace {

const char* const ReadError = "Read error";
const char* const WriteError = "Write error";
const char* const InitFailure = "Initialization failure";

// A drive that fails this many reads in a row is not going to recover.
constexpr int MaxFailedReads = 100;
constexpr size_t WavHeaderSize = 44;

void PutLE(uint8_t* p, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The data size, at most the largest whose RIFF size (data size + 36 + the
// `room` the chunks after the data take) still fits in 32 bits.
uint32_t WavDataSize(uint64_t bytes, uint32_t room)
{
    return static_cast<uint32_t>(
        std::min<uint64_t>(bytes, std::numeric_limits<uint32_t>::max() - 36u - room));
}

// `riffSize` counts everything after its own field: the rest of this header,
// the data and what follows the data.
std::vector<uint8_t> WavHeader(const TFormatSpec& shape, uint32_t riffSize, uint32_t dataSize)
{
    std::vector<uint8_t> h(WavHeaderSize);
    const uint32_t bytesPerSecond = shape.SampleRate * shape.Channels * 2;
    std::memcpy(&h[0], "RIFF", 4);
    PutLE(&h[4], riffSize, 4);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    PutLE(&h[16], 16, 4);
    PutLE(&h[20], 1, 2);
    PutLE(&h[22], shape.Channels, 2);
    PutLE(&h[24], shape.SampleRate, 4);
    PutLE(&h[28], bytesPerSecond, 4);
    PutLE(&h[32], shape.Channels * 2u, 2);
    PutLE(&h[34], 16, 2);
    std::memcpy(&h[36], "data", 4);
    PutLE(&h[40], dataSize, 4);
    return h;
}

// The library's open extraction: CR_CloseRipper is owed from a successful
// CR_OpenRipper on, and paid exactly once, by Close or else on destruction.
class TOpenExtraction {
public:
    explicit TOpenExtraction(const cdrip::TCdRipApi& api) : FApi(api) {}
    ~TOpenExtraction()
    {
        try {
            Close();
        } catch (...) {
        }
    }
    TOpenExtraction(const TOpenExtraction&) = delete;
    TOpenExtraction& operator=(const TOpenExtraction&) = delete;

    // The library's exception reaches the caller; the close is not repeated.
    void Close()
    {
        if (std::exchange(FOwed, false))
            FApi.CloseRipper();
    }

private:
    const cdrip::TCdRipApi& FApi;
    bool FOwed = true;
};

// The coder's open stream: CloseStream is owed from a successful OpenStream
// on, and paid exactly once, by Close or else on destruction.
class TOpenStream {
public:
    TOpenStream() = default;
    ~TOpenStream()
    {
        try {
            Close();
        } catch (...) {
        }
    }
    TOpenStream(const TOpenStream&) = delete;
    TOpenStream& operator=(const TOpenStream&) = delete;

    void Opened(TLameCoder* coder) { FCoder = coder; }
    void Close()
    {
        if (TLameCoder* coder = std::exchange(FCoder, nullptr))
            coder->CloseStream();
    }

private:
    TLameCoder* FCoder = nullptr;
};

}  // namespace

// State of one running extraction: file, buffers, encoder stream, and the
// first error met.  Complete() releases everything whatever happened; the
// output reaches its final name only when the range was read to its end
// without an error or an abort.
class TExtraction {
public:
    TExtraction(TCDRIP& ripper, TOpenExtraction& library, std::string fileName)
        : R(ripper),
          FLibrary(library),
          FName(std::move(fileName)),
          FCoder(ripper.FCoder),
          FEncode(ripper.FEncode),
          FWav(ripper.FWriteWAV && !ripper.FEncode),
          FSpec(FormatSpec(ripper.FOutputFormat)),
          FInfo(FWav ? WavInfoChunk(ripper.FTags) : std::vector<uint8_t>()),
          FInfoRoom(FInfo.empty() ? 0 : static_cast<uint32_t>(FInfo.size()) + 1)
    {}

    void Run(int32_t readSize, int32_t startSector, int32_t endSector) noexcept
    {
        Try([&] {
            FFile = R.FFiles.Create(FName);
            if (FWav) {
                const uint32_t expected = ExpectedDataSize(startSector, endSector);
                WriteAll(WavHeader(FSpec, RiffSize(expected), expected));
                FHeaderDataSize = expected;
                FHeaderRiffSize = RiffSize(expected);
            }
            // The tag goes in front of the first frame: the encoder writes
            // no header frame (VBR/Info) that would have to come first.
            if (FEncode) {
                WriteAll(Id3v2Tag(R.FTags));
                OpenEncoder();
            }
            FReadSize = static_cast<size_t>(std::max(readSize, 0));
            FRead.resize(FReadSize + FChunkBytes);
            Loop();
        });
    }

    void Complete() noexcept
    {
        if (FEncoding)
            Try([&] { Flush(); });
        Try([&] { FStream.Close(); });
        Try([&] { R.FJitterErrorCount = R.FApi.GetNumberOfJitterErrors(); });
        Try([&] { FLibrary.Close(); });
        if (FFile && !FError && !R.FAborted)
            Finish();
        FFile.reset();  // an unfinished output is dropped; its name stays untouched
        std::vector<uint8_t>().swap(FRead);
        std::vector<int16_t>().swap(FChunk);
        std::vector<uint8_t>().swap(FMp3);
    }

    // The output is under its final name.
    bool Committed() const { return FCommitted; }

    void RethrowError() const
    {
        if (FError)
            std::rethrow_exception(FError);
    }

private:
    template <typename F>
    void Try(F&& step) noexcept
    {
        try {
            step();
        } catch (...) {
            if (!FError)
                FError = std::current_exception();
        }
    }

    uint32_t ExpectedDataSize(int32_t startSector, int32_t endSector) const
    {
        const int64_t sectors = std::max<int64_t>(0, int64_t{endSector} - startSector + 1);
        return WavDataSize(static_cast<uint64_t>(sectors) * FSpec.SampleRate * FSpec.Channels * 2 / 75,
                           FInfoRoom);
    }

    // The RIFF size of a WAV of `dataSize` bytes of PCM and the LIST chunk
    // after them (after a pad byte when the data size is odd).
    uint32_t RiffSize(uint32_t dataSize) const
    {
        return dataSize + 36 + (FInfo.empty() ? 0 : dataSize % 2 + static_cast<uint32_t>(FInfo.size()));
    }

    // An encoder that cannot take chunks ends the rip before any audio.
    void OpenEncoder()
    {
        if (!FCoder || FCoder->OpenStream() != 0)
            throw ECDRIPError(InitFailure);
        FStream.Opened(FCoder);
        if (FCoder->SamplesPerChunk() == 0 || FCoder->OutputBufferSize() == 0)
            throw ECDRIPError(InitFailure);
        FEncoding = true;
        FChunk.resize(FCoder->SamplesPerChunk());
        FChunkBytes = FChunk.size() * sizeof(int16_t);
        FMp3.resize(FCoder->OutputBufferSize());
    }

    void Loop()
    {
        int failedReads = 0;
        while (!R.FAborted) {
            int32_t delivered = 0;
            const int32_t status = R.FApi.RipChunk(FRead.data() + FRemainder, &delivered);
            if (status == CDRIP_ERROR) {
                if (++failedReads >= MaxFailedReads)
                    throw ECDRIPError(ReadError);
            } else {
                // "Nothing ready yet" (no bytes) is neither a failure nor
                // the progress that ends a run of failures.
                const size_t bytes = std::min(static_cast<size_t>(std::max(delivered, 0)), FReadSize);
                if (bytes != 0)
                    failedReads = 0;
                Store(bytes);
            }
            if (status == CDRIP_JITTER_ERROR)
                AddJitterLine();
            if (R.OnProgress)
                R.OnProgress(&R, static_cast<uint16_t>(R.FApi.GetPercentCompleted()));
            if (R.ProcessMessages)
                R.ProcessMessages();
            if (status == CDRIP_RIPPING_DONE)
                break;
        }
    }

    void Store(size_t delivered)
    {
        if (FEncode) {
            EncodeChunks(delivered);
            return;
        }
        const size_t written = delivered ? FFile->Write(FRead.data(), delivered) : 0;
        FPcmBytes += written;
        if (written != delivered)
            throw ECDRIPError(WriteError);
    }

    // Encodes every whole chunk of remainder + delivered bytes and moves the
    // rest to the start of the read buffer for the next read.
    //
    // The results of EncodeChunk and FlushStream are passed over: the
    // library fails them only for a bad stream handle or chunk size, which an
    // open stream fed whole chunks of its own size cannot meet, and a failed
    // call leaves the byte count at the 0 set before it, so nothing is
    // written for it.  What reaches the file is checked by the writes.
    void EncodeChunks(size_t delivered)
    {
        const size_t total = FRemainder + delivered;
        const size_t whole = total / FChunkBytes;
        for (size_t i = 0; i < whole; ++i) {
            std::memcpy(FChunk.data(), FRead.data() + i * FChunkBytes, FChunkBytes);
            uint32_t bytes = 0;
            FCoder->EncodeChunk(FChunk.data(), FMp3.data(), bytes);
            WriteAll(FMp3.data(), std::min<size_t>(bytes, FMp3.size()));
        }
        FRemainder = total - whole * FChunkBytes;
        if (FRemainder != 0)
            std::memmove(FRead.data(), FRead.data() + whole * FChunkBytes, FRemainder);
    }

    void Flush()
    {
        uint32_t bytes = 0;
        FCoder->FlushStream(FMp3.data(), bytes);
        WriteAll(FMp3.data(), std::min<size_t>(bytes, FMp3.size()));
    }

    void AddJitterLine()
    {
        int32_t first = 0;
        int32_t last = 0;
        R.FApi.GetLastJitterErrorPosition(&first, &last);
        R.FJitterPositions.push_back(std::to_string(static_cast<uint32_t>(first)) + " " +
                                     std::to_string(static_cast<uint32_t>(last)));
    }

    void WriteAll(const uint8_t* data, size_t size)
    {
        if (size != 0 && FFile->Write(data, size) != size)
            throw ECDRIPError(WriteError);
    }
    void WriteAll(const std::vector<uint8_t>& bytes) { WriteAll(bytes.data(), bytes.size()); }

    // The LIST chunk after the data, where a reader finds it: not after data
    // beyond what the data chunk's size can say.
    void WriteInfo()
    {
        if (FPcmBytes != WavDataSize(FPcmBytes, FInfoRoom))
            FInfo.clear();
        if (FInfo.empty())
            return;
        if (FPcmBytes % 2 != 0)
            WriteAll(std::vector<uint8_t>{0});
        WriteAll(FInfo);
    }

    // The header's sizes become those of what was actually written.  A
    // header that already tells them is left alone, so that a complete rip
    // needs no seek (the output may be a pipe).
    void PatchWavSizes()
    {
        const uint32_t dataSize = WavDataSize(FPcmBytes, FInfoRoom);
        if (int64_t{dataSize} == FHeaderDataSize && int64_t{RiffSize(dataSize)} == FHeaderRiffSize)
            return;
        uint8_t riff[4];
        uint8_t data[4];
        PutLE(riff, RiffSize(dataSize), 4);
        PutLE(data, dataSize, 4);
        if (!FFile->WriteAt(4, riff, 4) || !FFile->WriteAt(40, data, 4))
            throw ECDRIPError(WriteError);
    }

    // The complete output gets its true sizes and its final name.
    void Finish() noexcept
    {
        if (FWav)
            Try([&] {
                WriteInfo();
                PatchWavSizes();
            });
        if (!FError)
            Try([&] {
                if (!FFile->Commit())
                    throw ECDRIPError(WriteError);
                FCommitted = true;
            });
    }

    TCDRIP& R;
    TOpenExtraction& FLibrary;
    TOpenStream FStream;
    const std::string FName;
    TLameCoder* const FCoder;
    const bool FEncode;
    const bool FWav;
    const TFormatSpec FSpec;
    std::vector<uint8_t> FInfo;  // the WAV's LIST chunk; empty: none
    const uint32_t FInfoRoom;    // the most the chunk after the data can take
    std::unique_ptr<cdrip::TOutputFile> FFile;
    bool FEncoding = false;   // chunks go to the encoder
    bool FCommitted = false;  // the output is under its final name
    size_t FReadSize = 0;
    size_t FChunkBytes = 0;
    size_t FRemainder = 0;
    uint64_t FPcmBytes = 0;
    int64_t FHeaderDataSize = -1;  // the sizes of the header written whole, else -1
    int64_t FHeaderRiffSize = -1;
    std::vector<uint8_t> FRead;
    std::vector<int16_t> FChunk;
    std::vector<uint8_t> FMp3;
    std::exception_ptr FError;
};

void TCDRIP::RipTrack(int32_t trackNum, const std::string& fileName)
{
    if (OnBeginTrack)
        OnBeginTrack(this, static_cast<uint16_t>(trackNum));
    const TTrack* track = FTracks.Object(trackNum - 1);
    FTags = {track->Title, track->Performer.empty() ? FAlbumPerformer : track->Performer, FAlbumTitle,
             track->DiscTrackNumber};
    struct TForget {
        TTrackTags& Tags;
        ~TForget() { Tags = {}; }
    } forgetTags{FTags};
    try {
        RipSectors(track->StartSector, track->EndSector, fileName);
    } catch (...) {
        // A complete copy whose jitter file failed is a finished track all
        // the same; the jitter file's error follows.
        if (FOutputComplete && OnEndTrack)
            OnEndTrack(this, static_cast<uint16_t>(trackNum));
        throw;
    }
    if (OnEndTrack)
        OnEndTrack(this, static_cast<uint16_t>(trackNum));
}

void TCDRIP::RipSectors(int32_t startSector, int32_t endSector, const std::string& fileName)
{
    // Before anything that can fail: an earlier rip's complete copy must not
    // pass for this one's, or RipTrack would end a track never copied.
    FOutputComplete = false;
    if (!ApplyParameters())
        throw ECDRIPError("Invalid CD-ROM parameters");
    FAborted = false;
    int32_t readSize = 0;
    if (FApi.OpenRipper(&readSize, startSector, endSector) == CDRIP_ERROR)
        throw ECDRIPError(ReadError);
    TOpenExtraction library(FApi);
    const std::string outputName = OutputFileName(fileName);
    FFiles.RemoveStale(outputName);
    TExtraction extraction(*this, library, outputName);
    extraction.Run(readSize, startSector, endSector);
    extraction.Complete();
    extraction.RethrowError();
    if (!extraction.Committed())
        return;  // aborted: nothing under the final name, no jitter file
    FOutputComplete = true;
    SaveJitterFile(outputName);
}

// Without any jitter line an older jitter file would tell of errors this
// copy does not have: it goes.
void TCDRIP::SaveJitterFile(const std::string& outputFileName)
{
    const std::string name = JitterFileName(outputFileName);
    if (FJitterPositions.empty()) {
        if (!FFiles.Remove(name))
            throw ECDRIPError(WriteError);
        return;
    }
    std::string text;
    for (const std::string& line : FJitterPositions)
        text += line + "\r\n";
    auto file = FFiles.Create(name);
    if (file->Write(text.data(), text.size()) != text.size() || !file->Commit())
        throw ECDRIPError(WriteError);
}
