// TLameCoder: the MP3 encoder component.  It holds the encoder settings,
// builds the library's configuration record from them at every OpenStream and
// hands PCM chunks to the library.  It never touches a file; result codes of
// the library are passed back unexamined.
#pragma once

#include "Lame_dll.h"
#include "Rtl.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lame {

// The five library calls, reached through this table so that a test can
// stand in for the library.  LinkedLameEncApi() is the library we link.
struct TLameEncApi {
    void (*Version)(TBEVersion*);
    uint32_t (*InitStream)(TBEConfig*, uint32_t*, uint32_t*, uint32_t*);
    uint32_t (*EncodeChunk)(uint32_t, uint32_t, const int16_t*, uint8_t*, uint32_t*);
    uint32_t (*DeinitStream)(uint32_t, uint8_t*, uint32_t*);
    uint32_t (*CloseStream)(uint32_t);
};
const TLameEncApi& LinkedLameEncApi();

}  // namespace lame

// Channel mode; the library receives the mode number 0..3.
enum class TLameMode : uint8_t { STEREO = 0, JSTEREO = 1, DUALCHANNEL = 2, MONO = 3 };

using TStrings = std::vector<std::string>;

// Events of the component's published surface (never fired by it).
using TNotifyEvent = std::function<void(void* sender)>;
using TProgressEvent = std::function<void(void* sender, uint16_t percentComplete)>;
using TProcessFileEvent = std::function<void(void* sender, uint16_t num, const std::string& fileName)>;

// The library's version record; the first four bytes are published.
class TLameVersion : public rtl::TPersistent {
public:
    explicit TLameVersion(const lame::TLameEncApi& api = lame::LinkedLameEncApi());
    std::string ClassName() const override { return "TLameVersion"; }
    void CopyFrom(const rtl::TPersistent* source) override;

    uint8_t DLLMajorVersion() const;
    void SetDLLMajorVersion(uint8_t v);
    uint8_t DLLMinorVersion() const;
    void SetDLLMinorVersion(uint8_t v);
    uint8_t MajorVersion() const;
    void SetMajorVersion(uint8_t v);
    uint8_t MinorVersion() const;
    void SetMinorVersion(uint8_t v);

    const TBEVersion& Record() const { return FRecord; }

private:
    TBEVersion FRecord{};
};

class TLameCoder : public rtl::TPersistent {
public:
    explicit TLameCoder(const lame::TLameEncApi& api = lame::LinkedLameEncApi());
    ~TLameCoder() override;
    TLameCoder(const TLameCoder&) = delete;
    TLameCoder& operator=(const TLameCoder&) = delete;

    std::string ClassName() const override { return "TLameCoder"; }
    void CopyFrom(const rtl::TPersistent* source) override;

    // Published settings.
    uint32_t SampleRate() const;
    void SetSampleRate(uint32_t v);
    uint32_t Bitrate() const;
    void SetBitrate(uint32_t v);
    uint32_t MaxBitrate() const;
    void SetMaxBitrate(uint32_t v);
    MPEG_QUALITY Quality() const;
    void SetQuality(MPEG_QUALITY v);
    int32_t Private() const;  // 32-bit truth values: 0 false, -1 true
    void SetPrivate(int32_t v);
    int32_t CRC() const;
    void SetCRC(int32_t v);
    TLameMode Mode() const;
    void SetMode(TLameMode v);
    int32_t ModeNumber() const;  // the stored library mode number 0..3
    int32_t Copyright() const;
    void SetCopyright(int32_t v);
    int32_t Original() const;
    void SetOriginal(int32_t v);
    int32_t WriteVBRHeader() const;
    void SetWriteVBRHeader(int32_t v);
    int32_t EnableVBR() const;
    void SetEnableVBR(int32_t v);  // also writes WriteVBRHeader
    int32_t VBRQuality() const;
    void SetVBRQuality(int32_t v);
    const TStrings& InputFiles() const;
    void SetInputFiles(const TStrings& v);  // rebuilds OutputFiles with DefaultExt
    const TStrings& OutputFiles() const;
    void SetOutputFiles(const TStrings& v);
    const TLameVersion& LameVersion() const;
    const std::string& DefaultExt() const;
    void SetDefaultExt(const std::string& v);
    const std::string& Mp3FileName() const;
    void SetMp3FileName(const std::string& v);

    TNotifyEvent OnBeginProcess;
    TProcessFileEvent OnBeginFile;
    TProcessFileEvent OnEndFile;
    TNotifyEvent OnEndProcess;
    TProgressEvent OnProgress;

    // Stream operations; each returns the library's result (0 = success).
    uint32_t OpenStream();
    uint32_t EncodeChunk(const int16_t* samples, uint8_t* output, uint32_t& outputBytes);
    uint32_t FlushStream(uint8_t* output, uint32_t& outputBytes);
    uint32_t CloseStream();

    // Stream state, valid after OpenStream returned 0.
    const TBEConfig& EncoderConfig() const { return FEncoderConfig; }
    uint32_t StreamHandle() const { return FStreamHandle; }
    uint32_t SamplesPerChunk() const { return FSamplesPerChunk; }
    uint32_t OutputBufferSize() const { return FOutputBufferSize; }

private:
    const lame::TLameEncApi& FApi;
    uint32_t FSampleRate = 44100;
    uint32_t FBitrate = 128;
    uint32_t FMaxBitrate = 320;
    MPEG_QUALITY FQuality = NORMAL_QUALITY;
    int32_t FPrivate = 0;
    int32_t FCRC = -1;
    int32_t FMode = 0;
    int32_t FCopyright = 0;
    int32_t FOriginal = 0;
    int32_t FWriteVBRHeader = 0;
    int32_t FEnableVBR = 0;
    int32_t FVBRQuality = 4;
    TStrings FInputFiles;
    TStrings FOutputFiles;
    std::unique_ptr<TLameVersion> FLameVersion;
    std::string FDefaultExt = ".mp3";
    std::string FMp3FileName;

    TBEConfig FEncoderConfig{};
    uint32_t FStreamHandle = 0;
    uint32_t FSamplesPerChunk = 0;
    uint32_t FOutputBufferSize = 0;
};
