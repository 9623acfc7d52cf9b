#include "LameCoder.h"

namespace lame {

const TLameEncApi& LinkedLameEncApi()
{
    static const TLameEncApi api{beVersion, beInitStream, beEncodeChunk, beDeinitStream, beCloseStream};
    return api;
}

}  // namespace lame

namespace {

// The name with its extension replaced by ext; a name whose last full stop
// lies in a folder part ("\", "/" or ":" after it) keeps its whole text.
std::string ChangeExt(const std::string& name, const std::string& ext)
{
    const std::size_t pos = name.find_last_of(".\\/:");
    if (pos != std::string::npos && name[pos] == '.')
        return name.substr(0, pos) + ext;
    return name + ext;
}

}  // namespace

// ---- TLameVersion -----------------------------------------------------------

TLameVersion::TLameVersion(const lame::TLameEncApi& api) { api.Version(&FRecord); }

void TLameVersion::CopyFrom(const rtl::TPersistent* source)
{
    const auto* other = dynamic_cast<const TLameVersion*>(source);
    if (!other) {
        rtl::TPersistent::CopyFrom(source);
        return;
    }
    FRecord.DLLMajorVersion = other->FRecord.DLLMajorVersion;
    FRecord.DLLMinorVersion = other->FRecord.DLLMinorVersion;
    FRecord.MajorVersion = other->FRecord.MajorVersion;
    FRecord.MinorVersion = other->FRecord.MinorVersion;
}

uint8_t TLameVersion::DLLMajorVersion() const { return FRecord.DLLMajorVersion; }
void TLameVersion::SetDLLMajorVersion(uint8_t v) { FRecord.DLLMajorVersion = v; }
uint8_t TLameVersion::DLLMinorVersion() const { return FRecord.DLLMinorVersion; }
void TLameVersion::SetDLLMinorVersion(uint8_t v) { FRecord.DLLMinorVersion = v; }
uint8_t TLameVersion::MajorVersion() const { return FRecord.MajorVersion; }
void TLameVersion::SetMajorVersion(uint8_t v) { FRecord.MajorVersion = v; }
uint8_t TLameVersion::MinorVersion() const { return FRecord.MinorVersion; }
void TLameVersion::SetMinorVersion(uint8_t v) { FRecord.MinorVersion = v; }

// ---- TLameCoder -------------------------------------------------------------

TLameCoder::TLameCoder(const lame::TLameEncApi& api)
    : FApi(api), FLameVersion(std::make_unique<TLameVersion>(api))
{}

TLameCoder::~TLameCoder() = default;

void TLameCoder::CopyFrom(const rtl::TPersistent* source)
{
    const auto* other = dynamic_cast<const TLameCoder*>(source);
    if (!other) {
        rtl::TPersistent::CopyFrom(source);
        return;
    }
    FSampleRate = other->FSampleRate;
    FMode = other->FMode;
    FBitrate = other->FBitrate;
    FMaxBitrate = other->FMaxBitrate;
    FQuality = other->FQuality;
    FPrivate = other->FPrivate;
    FCRC = other->FCRC;
    FCopyright = other->FCopyright;
    FOriginal = other->FOriginal;
    FWriteVBRHeader = other->FWriteVBRHeader;
    FEnableVBR = other->FEnableVBR;
    FVBRQuality = other->FVBRQuality;
}

uint32_t TLameCoder::SampleRate() const { return FSampleRate; }
void TLameCoder::SetSampleRate(uint32_t v) { FSampleRate = v; }
uint32_t TLameCoder::Bitrate() const { return FBitrate; }
void TLameCoder::SetBitrate(uint32_t v) { FBitrate = v; }
uint32_t TLameCoder::MaxBitrate() const { return FMaxBitrate; }
void TLameCoder::SetMaxBitrate(uint32_t v) { FMaxBitrate = v; }
MPEG_QUALITY TLameCoder::Quality() const { return FQuality; }
void TLameCoder::SetQuality(MPEG_QUALITY v) { FQuality = v; }
int32_t TLameCoder::Private() const { return FPrivate; }
void TLameCoder::SetPrivate(int32_t v) { FPrivate = v; }
int32_t TLameCoder::CRC() const { return FCRC; }
void TLameCoder::SetCRC(int32_t v) { FCRC = v; }
TLameMode TLameCoder::Mode() const { return static_cast<TLameMode>(FMode); }
void TLameCoder::SetMode(TLameMode v) { FMode = static_cast<int32_t>(v); }
int32_t TLameCoder::ModeNumber() const { return FMode; }
int32_t TLameCoder::Copyright() const { return FCopyright; }
void TLameCoder::SetCopyright(int32_t v) { FCopyright = v; }
int32_t TLameCoder::Original() const { return FOriginal; }
void TLameCoder::SetOriginal(int32_t v) { FOriginal = v; }
int32_t TLameCoder::WriteVBRHeader() const { return FWriteVBRHeader; }
void TLameCoder::SetWriteVBRHeader(int32_t v) { FWriteVBRHeader = v; }
int32_t TLameCoder::EnableVBR() const { return FEnableVBR; }
int32_t TLameCoder::VBRQuality() const { return FVBRQuality; }
void TLameCoder::SetVBRQuality(int32_t v) { FVBRQuality = v; }
const TStrings& TLameCoder::InputFiles() const { return FInputFiles; }
const TStrings& TLameCoder::OutputFiles() const { return FOutputFiles; }
void TLameCoder::SetOutputFiles(const TStrings& v) { FOutputFiles = v; }
const TLameVersion& TLameCoder::LameVersion() const { return *FLameVersion; }
const std::string& TLameCoder::DefaultExt() const { return FDefaultExt; }
void TLameCoder::SetDefaultExt(const std::string& v) { FDefaultExt = v; }
const std::string& TLameCoder::Mp3FileName() const { return FMp3FileName; }
void TLameCoder::SetMp3FileName(const std::string& v) { FMp3FileName = v; }

void TLameCoder::SetEnableVBR(int32_t v)
{
    FEnableVBR = v;
    FWriteVBRHeader = v;
}

void TLameCoder::SetInputFiles(const TStrings& v)
{
    FInputFiles = v;
    FOutputFiles.clear();
    for (const std::string& name : FInputFiles)
        FOutputFiles.push_back(ChangeExt(name, FDefaultExt));
}

// ---- stream operations --------------------------------------------------------

uint32_t TLameCoder::OpenStream()
{
    // Only the nineteen words are written; the reserved tail keeps its zeros.
    TBEConfig& c = FEncoderConfig;
    c.ConfigKind = BE_CONFIG_KIND_LAME;
    c.StructVersion = 1;
    c.StructSize = sizeof(TBEConfig);
    c.SampleRate = FSampleRate;
    c.ReSampleRate = 0;
    c.Mode = FMode;
    c.Bitrate = FBitrate;
    c.MaxBitrate = FMaxBitrate;
    c.Quality = FQuality;
    c.MpegVersion = 1;
    c.PsyModel = 0;
    c.Emphasis = 0;
    c.Private = FPrivate;
    c.CRC = FCRC;
    c.Copyright = FCopyright;
    c.Original = FOriginal;
    c.WriteVBRHeader = FWriteVBRHeader;
    c.EnableVBR = FEnableVBR;
    c.VBRQuality = FVBRQuality;
    return FApi.InitStream(&FEncoderConfig, &FSamplesPerChunk, &FOutputBufferSize, &FStreamHandle);
}

uint32_t TLameCoder::EncodeChunk(const int16_t* samples, uint8_t* output, uint32_t& outputBytes)
{
    return FApi.EncodeChunk(FStreamHandle, FSamplesPerChunk, samples, output, &outputBytes);
}

uint32_t TLameCoder::FlushStream(uint8_t* output, uint32_t& outputBytes)
{
    return FApi.DeinitStream(FStreamHandle, output, &outputBytes);
}

uint32_t TLameCoder::CloseStream() { return FApi.CloseStream(FStreamHandle); }
