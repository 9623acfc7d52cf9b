#include "CDRIP.h"

#include "PathNames.h"

#include <algorithm>
#include <cstring>

namespace {

const char* const InitFailure = "Initialization failure";

constexpr uint8_t AudioTrackFlags = 0x10;

}  // namespace

TFormatSpec FormatSpec(TOutputFormat format)
{
    switch (format) {
    case MONO44100: return {44100, 1, TLameMode::MONO};
    case STEREO22050: return {22050, 2, TLameMode::STEREO};
    case MONO22050: return {22050, 1, TLameMode::MONO};
    case STEREO11025: return {11025, 2, TLameMode::STEREO};
    case MONO11025: return {11025, 1, TLameMode::MONO};
    default: return {44100, 2, TLameMode::STEREO};
    }
}

std::string PadTrackNumber(uint16_t n)
{
    std::string text = std::to_string(n);
    return text.size() < 2 ? "0" + text : text;
}

std::string ReplaceExtension(const std::string& fileName, const std::string& ext)
{
    return util::ReplaceExtension(fileName, ext);
}

std::string JitterFileName(const std::string& outputFileName)
{
    return ReplaceExtension(outputFileName, "jitt");
}

std::string TitleAndPerformer(const TTrack& track, const std::string& albumPerformer)
{
    const bool ownPerformer = !track.Performer.empty() && track.Performer != albumPerformer;
    const char* const between = !track.Title.empty() && ownPerformer ? " – " : "";
    return track.Title + between + (ownPerformer ? track.Performer : std::string());
}

// ---- TTrackList ----

void TTrackList::CheckIndex(int32_t index) const
{
    if (index < 0 || index >= Count())
        throw rtl::EListError(rtl::ListIndexErrorMessage(index));
}

const std::string& TTrackList::Name(int32_t index) const
{
    CheckIndex(index);
    return FItems[static_cast<size_t>(index)].first;
}

TTrack* TTrackList::Object(int32_t index) const
{
    CheckIndex(index);
    return FItems[static_cast<size_t>(index)].second.get();
}

int32_t TTrackList::IndexOf(const std::string& name) const
{
    for (int32_t i = 0; i < Count(); ++i)
        if (FItems[static_cast<size_t>(i)].first == name)
            return i;
    return -1;
}

void TTrackList::Add(std::string name, std::unique_ptr<TTrack> track)
{
    FItems.emplace_back(std::move(name), std::move(track));
}

// ---- TCDRIP: drives, parameters, table of contents ----

TCDRIP::TCDRIP(const cdrip::TCdRipApi& api, cdrip::TFileSystem& files) : FApi(api), FFiles(files)
{
    try {
        Construct();
    } catch (...) {
        throw ECDRIPError(InitFailure);
    }
}

TCDRIP::~TCDRIP() { FCoder = nullptr; }

void TCDRIP::Construct()
{
    FVersion = std::to_string(FApi.GetCDRipVersion());
    if (FApi.Init() != CDRIP_ERROR) {
        if (FApi.GetCDROMParameters(&FParameters) != CDRIP_ERROR) {
            TakeParameters();
            FCDRomNum = FApi.GetActiveCDROM();
            FJitterCorrect = true;
            FParameters.JitterCorrection = -1;
        }
        ReadTrackList();
    }
    FJitterErrorCount = 0;
}

// Copies what the component mirrors of a freshly read parameter record.
void TCDRIP::TakeParameters()
{
    FCDRomName.assign(FParameters.CDROMID, strnlen(FParameters.CDROMID, sizeof FParameters.CDROMID));
    int32_t table[7];  // the packed record may sit unaligned
    std::memcpy(table, FParameters.DriveTable, sizeof table);
    FDriveTable.DriveType = table[0];
    FDriveTable.ReadMethod = table[1];
    FDriveTable.SetSpeed = table[2];
    FDriveTable.Endian = table[3];
    FDriveTable.EnableMode = table[4];
    FDriveTable.Density = table[5];
    FDriveTable.Atapi = table[6];
    // A low byte outside the six formats is taken as the first; the record keeps it.
    const uint8_t format = FParameters.OutputFormat[0];
    FOutputFormat = format <= MONO11025 ? static_cast<TOutputFormat>(format) : STEREO44100;
    FSpeed = FParameters.Speed;
}

void TCDRIP::AppendTracks(int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        const TTocEntry a = FApi.GetTocEntry(i);
        const TTocEntry b = FApi.GetTocEntry(i + 1);
        auto track = std::make_unique<TTrack>();
        track->TrackNumber = i + 1;
        track->StartSector = a.StartSector;
        // In the 32 bits the library counts in: a lead-out at the lowest
        // sector number wraps round instead of overflowing.
        track->EndSector = static_cast<int32_t>(static_cast<uint32_t>(b.StartSector) - 1u);
        // The next start is too late where something that is no audio lies
        // between (the gap before a CD-Extra's second session).
        int32_t last = 0;
        if (FApi.GetTrackLastSector && FApi.GetTrackLastSector(i, &last) != CDRIP_ERROR)
            track->EndSector = std::min(track->EndSector, last);
        track->Kind = a.Flags == AudioTrackFlags ? "Audio" : "Data";
        track->Title = CDText(i + 1, CDRIP_TEXT_TITLE);
        track->Performer = CDText(i + 1, CDRIP_TEXT_PERFORMER);
        track->DiscTrackNumber = a.TrackNumber;
        FTracks.Add("Track" + PadTrackNumber(static_cast<uint16_t>(i + 1)), std::move(track));
    }
}

int32_t TCDRIP::DiscStatus() const
{
    int32_t status = CDRIP_DISC_UNKNOWN;
    if (!FApi.GetDiscStatus || FApi.GetDiscStatus(&status) == CDRIP_ERROR)
        return CDRIP_DISC_UNKNOWN;
    return status;
}

void TCDRIP::SetCDRomNum(int32_t drive)
{
    if (drive != FCDRomNum)
        RereadDrive(drive);
}

bool TCDRIP::RereadDrive(int32_t drive)
{
    try {
        return SelectDrive(drive);
    } catch (...) {
        throw ECDRIPError(InitFailure);
    }
}

bool TCDRIP::SelectDrive(int32_t drive)
{
    const bool selected =
        FApi.SetActiveCDROM(drive) != CDRIP_ERROR && FApi.GetCDROMParameters(&FParameters) != CDRIP_ERROR;
    if (selected) {
        TakeParameters();
        FCDRomNum = drive;
    }
    ReadTrackList();
    return selected;
}

// Reads the active drive's table of contents; a failed read keeps TrackCount.
void TCDRIP::ReadTrackList()
{
    FAlbumTitle.clear();
    FAlbumPerformer.clear();
    if (FApi.ReadToc() == CDRIP_ERROR)
        return;
    FTrackCount = FApi.GetNumTocEntries();
    FAlbumTitle = CDText(0, CDRIP_TEXT_TITLE);
    FAlbumPerformer = CDText(0, CDRIP_TEXT_PERFORMER);
    AppendTracks(FTrackCount);
}

// A text of the last table's CD-Text; empty when the library names none.
std::string TCDRIP::CDText(int32_t track, int32_t field) const
{
    char text[1024];
    if (!FApi.GetCDText || FApi.GetCDText(track, field, FCDTextLanguage, text, sizeof text) == CDRIP_ERROR)
        return {};
    return std::string(text, strnlen(text, sizeof text));
}

void TCDRIP::SetOutputFormat(TOutputFormat format)
{
    if (format != FOutputFormat)
        CR_SetParamOutputFormat(&FParameters, static_cast<int32_t>(format));
    FOutputFormat = format;
    UpdateCoderFormat();
}

void TCDRIP::SetJitterCorrect(bool on)
{
    if (on == FJitterCorrect)
        return;
    FJitterCorrect = on;
    FParameters.JitterCorrection = on ? -1 : 0;
}

void TCDRIP::SetCoder(TLameCoder* coder)
{
    FCoder = coder;
    UpdateCoderFormat();
}

void TCDRIP::UpdateCoderFormat()
{
    if (!FCoder)
        return;
    const TFormatSpec shape = FormatSpec(FOutputFormat);
    FCoder->SetMode(shape.Mode);
    FCoder->SetSampleRate(shape.SampleRate);
}

bool TCDRIP::ApplyParameters()
{
    try {
        return FApi.SetCDROMParameters(&FParameters) != CDRIP_ERROR;
    } catch (...) {
        throw ECDRIPError("Error setting parameters");
    }
}

std::string TCDRIP::OutputFileName(const std::string& fileName) const
{
    return FEncode ? ReplaceExtension(fileName, ".mp3") : fileName;
}

std::unique_ptr<TCDRIP> CreateStoredCDRIP1(TLameCoder* coder, TProcessTrackEvent onEndTrack,
                                           TProgressEvent onProgress, const cdrip::TCdRipApi& api,
                                           cdrip::TFileSystem& files)
{
    auto ripper = std::make_unique<TCDRIP>(api, files);
    ripper->SetCDRomNum(0);
    TDriveTableClass& table = ripper->DriveTable();
    table.DriveType = GENERIC;
    table.ReadMethod = READMMC;
    table.SetSpeed = SPEEDNONE;
    table.Endian = BIGENDIAN;
    table.EnableMode = ENABLENONE;
    table.Density = 16777216;
    table.Atapi = -1;
    ripper->SetWriteWAV(true);
    ripper->SetVersion("111");
    ripper->SetSpeed(32);
    ripper->OnEndTrack = std::move(onEndTrack);
    ripper->OnProgress = std::move(onProgress);
    ripper->SetCoder(coder);
    return ripper;
}
