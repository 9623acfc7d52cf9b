// TCDRIP: the CD ripper component.  It selects a drive through the CDRip
// library, mirrors the drive's parameter record, keeps the disc's table of
// contents as a list of tracks and extracts one track into a WAV, raw PCM or
// MP3 file (the MP3 through an attached TLameCoder it does not own).
//
// The library is reached through TCdRipApi and files through TFileSystem, so
// that a test can script both.  Everything runs on the caller's thread.
#pragma once

#include "CdRip_dll.h"
#include "LameCoder.h"
#include "Rtl.h"
#include "TrackTags.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TCDRIP;

namespace cdrip {

// The CR_* calls of the extraction library; LinkedCdRipApi() is the library we link.
struct TCdRipApi {
    int32_t (*GetCDRipVersion)();
    int32_t (*Init)();
    int32_t (*GetActiveCDROM)();
    int32_t (*SetActiveCDROM)(int32_t drive);
    int32_t (*GetCDROMParameters)(TCDRomParameters* params);
    int32_t (*SetCDROMParameters)(TCDRomParameters* params);
    int32_t (*ReadToc)();
    int32_t (*GetNumTocEntries)();
    TTocEntry (*GetTocEntry)(int32_t index);
    int32_t (*OpenRipper)(int32_t* readSize, int32_t startSector, int32_t endSector);
    int32_t (*RipChunk)(uint8_t* buffer, int32_t* bytesDelivered);
    int32_t (*GetPercentCompleted)();
    int32_t (*GetNumberOfJitterErrors)();
    void (*GetLastJitterErrorPosition)(int32_t* first, int32_t* last);
    int32_t (*CloseRipper)();
    // Added with the library's 1.1; a table without them (null) works as
    // before: nothing switched, status unknown, tracks end where the next
    // begins.
    int32_t (*SetDriveReading)(int32_t mode);
    int32_t (*GetDiscStatus)(int32_t* status);
    int32_t (*GetTrackLastSector)(int32_t index, int32_t* lastSector);
    // Also 1.1; null: the disc names nothing.
    int32_t (*GetCDText)(int32_t track, int32_t field, int32_t language, char* text, int32_t size);
};
const TCdRipApi& LinkedCdRipApi();

// A file being written sequentially, under a temporary name until Commit.
// Write reports how many bytes it took; fewer than asked is a failed write.
// WriteAt patches bytes already written.  Commit stores the bytes and puts
// the file under its final name, replacing a file of that name and keeping
// its mode, owner and group, and makes that name durable before it returns;
// false when that failed, and then nothing has changed under the final name
// (or, when only the name's durability failed, the new file is there but may
// not survive a power cut).  A file dropped without Commit leaves nothing
// behind.
class TOutputFile {
public:
    virtual ~TOutputFile() = default;
    virtual size_t Write(const void* data, size_t size) = 0;
    virtual bool WriteAt(uint64_t offset, const void* data, size_t size) = 0;
    virtual bool Commit() = 0;
};

class TFileSystem {
public:
    virtual ~TFileSystem() = default;
    // Starts the file `fileName`; raises rtl::EFCreateError naming it when
    // that is impossible, also when the name holds something other than a
    // regular file (a folder, a pipe, a device).
    virtual std::unique_ptr<TOutputFile> Create(const std::string& fileName) = 0;
    // Removes what killed processes left unfinished in the folder of
    // `fileName`, never a file still being written; failures are ignored.
    virtual void RemoveStale(const std::string& fileName) = 0;
    // Removes the regular file `fileName`, durably; true also when there is
    // none.
    virtual bool Remove(const std::string& fileName) = 0;
};
// The process's files, replaced whole through the OS layer.
TFileSystem& DiskFileSystem();

}  // namespace cdrip

// Sender is the component that fires the event.
using TProcessTrackEvent = std::function<void(void* sender, uint16_t trackNum)>;
using TProgressEvent = std::function<void(void* sender, uint16_t percentComplete)>;

class ECDRIPError : public rtl::Exception {
    using rtl::Exception::Exception;
};

// Sample rate, channels and encoder mode of an output format; an ordinal
// outside the six is taken as STEREO44100.
struct TFormatSpec {
    uint32_t SampleRate;
    uint16_t Channels;
    TLameMode Mode;
};
TFormatSpec FormatSpec(TOutputFormat format);

// Two-digit track number: 7 gives "07", 12 "12", 100 "100".
std::string PadTrackNumber(uint16_t n);
// Everything from the last dot after the last "\", "/" or ":" is replaced by
// `ext`; a name without such a dot gets `ext` appended.
std::string ReplaceExtension(const std::string& fileName, const std::string& ext);
// "C:\Audio\Track03.wav" gives "C:\Audio\Track03jitt".
std::string JitterFileName(const std::string& outputFileName);

// The drive-table part of the parameter record, as reported for the selected
// drive (or as assigned later); never handed back to the library.  The five
// enumerations are kept as the 32-bit ordinals the library reported, so a
// value outside the enumeration survives unchanged.
class TDriveTableClass : public rtl::TPersistent {
public:
    std::string ClassName() const override { return "TDriveTableClass"; }

    int32_t DriveType = GENERIC;      // TDriveType
    int32_t ReadMethod = READMMC;     // TReadMethod
    int32_t SetSpeed = SPEEDNONE;     // TSetSpeed
    int32_t Endian = BIGENDIAN;       // TEndian
    int32_t EnableMode = ENABLENONE;  // TEnableMode
    int32_t Density = 0;
    int32_t Atapi = 0;  // 32-bit truth value, non-zero = true
};

struct TTrack {
    int32_t TrackNumber = 0;  // 1-based within the table of contents it came from
    int32_t StartSector = 0;
    int32_t EndSector = 0;  // inclusive
    std::string Kind;       // "Audio" or "Data"
    // The disc's CD-Text (UTF-8), empty where it names nothing.
    std::string Title;
    std::string Performer;
    int32_t DiscTrackNumber = 0;  // the disc's own number of the track
};

// The track's title and, when it differs from the album's, its performer,
// joined by " – "; empty when the disc names neither.
std::string TitleAndPerformer(const TTrack& track, const std::string& albumPerformer);

// Ordered list of (name, owned track).  An index outside raises
// rtl::EListError with the class library's list-index message.
class TTrackList {
public:
    void Clear() { FItems.clear(); }
    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
    const std::string& Name(int32_t index) const;
    TTrack* Object(int32_t index) const;
    int32_t IndexOf(const std::string& name) const;  // -1 when absent
    void Add(std::string name, std::unique_ptr<TTrack> track);

private:
    void CheckIndex(int32_t index) const;
    std::vector<std::pair<std::string, std::unique_ptr<TTrack>>> FItems;
};

class TCDRIP {
public:
    // Reads version, drive, parameters and table of contents from the library;
    // any exception on the way becomes ECDRIPError "Initialization failure".
    explicit TCDRIP(const cdrip::TCdRipApi& api = cdrip::LinkedCdRipApi(),
                    cdrip::TFileSystem& files = cdrip::DiskFileSystem());
    ~TCDRIP();
    TCDRIP(const TCDRIP&) = delete;
    TCDRIP& operator=(const TCDRIP&) = delete;

    // Published properties.
    TLameCoder* Coder() const { return FCoder; }
    void SetCoder(TLameCoder* coder);  // not owned; updates its mode and rate
    int32_t CDRomNum() const { return FCDRomNum; }
    // Selects a drive and appends its tracks to Tracks; does nothing for the
    // current number.  Exceptions become "Initialization failure".
    void SetCDRomNum(int32_t drive);
    TDriveTableClass& DriveTable() { return FDriveTable; }
    const TDriveTableClass& DriveTable() const { return FDriveTable; }
    TOutputFormat OutputFormat() const { return FOutputFormat; }
    void SetOutputFormat(TOutputFormat format);
    bool Encode() const { return FEncode; }
    void SetEncode(bool encode) { FEncode = encode; }
    bool WriteWAV() const { return FWriteWAV; }
    void SetWriteWAV(bool writeWav) { FWriteWAV = writeWav; }
    bool JitterCorrect() const { return FJitterCorrect; }
    void SetJitterCorrect(bool on);
    const std::string& Version() const { return FVersion; }
    void SetVersion(const std::string& version) { FVersion = version; }
    int32_t Speed() const { return FSpeed; }
    void SetSpeed(int32_t speed) { FSpeed = speed; }
    // The CD-Text language block asked for first (CDRIP_TEXT_ENGLISH, ...);
    // it takes effect at the next table of contents read.
    int32_t CDTextLanguage() const { return FCDTextLanguage; }
    void SetCDTextLanguage(int32_t language) { FCDTextLanguage = language; }

    TProcessTrackEvent OnBeginTrack;
    TProcessTrackEvent OnEndTrack;
    TProgressEvent OnProgress;
    // Called once after every library read so the GUI can process its
    // pending messages (and so reach Abort); empty = nothing.
    std::function<void()> ProcessMessages;

    // Further state.
    const std::string& CDRomName() const { return FCDRomName; }
    TTrackList& Tracks() { return FTracks; }
    const TTrackList& Tracks() const { return FTracks; }
    int32_t TrackCount() const { return FTrackCount; }
    // The album's CD-Text of the last table of contents read (UTF-8); empty
    // where the disc names nothing and after a failed read.
    const std::string& AlbumTitle() const { return FAlbumTitle; }
    const std::string& AlbumPerformer() const { return FAlbumPerformer; }
    // Why the last table-of-contents read of the selected drive found no
    // tracks, or that it found them: a CDRIP_DISC_* value, asked of the
    // library (CDRIP_DISC_UNKNOWN when it cannot tell).
    int32_t DiscStatus() const;
    // One line "first last" per jitter error, over every rip of this component.
    const std::vector<std::string>& JitterPositions() const { return FJitterPositions; }
    int32_t JitterErrorCount() const { return FJitterErrorCount; }
    bool Aborted() const { return FAborted; }
    TCDRomParameters& Parameters() { return FParameters; }
    const TCDRomParameters& Parameters() const { return FParameters; }

    // Selects `drive` as SetCDRomNum would, also when it is the current
    // number, and reads its table of contents afresh, appending to Tracks.
    // This is the dialog's periodic refresh: clear Tracks, then RereadDrive.
    // True when the library switched to the drive and gave its parameters.
    bool RereadDrive(int32_t drive);

    // Gives the coder the mode and sample rate of OutputFormat.
    void UpdateCoderFormat();
    // Hands Parameters to the library: false when it refuses them; an
    // exception inside becomes ECDRIPError "Error setting parameters".
    bool ApplyParameters();

    // The name a rip of `fileName` writes to (".mp3" when encoding).
    std::string OutputFileName(const std::string& fileName) const;

    // Extracts entry trackNum - 1 of Tracks; fires OnBeginTrack before and
    // OnEndTrack after a rip that returns (not after one that raises, unless
    // only the jitter file failed: the copy is then complete all the same).
    // Where the disc names the track or the album, the copy says so: a WAV
    // file in a LIST/INFO chunk after its data chunk, an MP3 file in an
    // ID3v2.3 tag in front of its first frame (title, the track's performer
    // or else the album's, album, the disc's track number).  Without CD-Text
    // the copy is as RipSectors writes it.
    void RipTrack(int32_t trackNum, const std::string& fileName);
    // Extracts the inclusive sector range.  Raises ECDRIPError "Invalid CD-ROM
    // parameters", "Read error" (open failed, or 100 failed reads in a row),
    // "Write error", "Initialization failure" (encoder did not open), or
    // rtl::EFCreateError.  Once the library's extraction is open it is closed
    // and the file dropped or finished on every path; the first error is the
    // one raised.
    //
    // The output is written under a temporary name and takes its final name
    // only when the range was read to its end: after an abort or an error a
    // file of that name stays exactly as it was, and none appears otherwise.
    // The jitter file follows the complete output the same way, and when
    // JitterPositions is empty an older jitter file of that name is removed,
    // so that the one beside the output always belongs to it; its failure
    // leaves the output in place.  Temporary files that killed processes left
    // in the output's folder are removed first.
    void RipSectors(int32_t startSector, int32_t endSector, const std::string& fileName);
    // The running rip stops before its next read.
    void Abort() { FAborted = true; }

private:
    friend class TExtraction;
    void Construct();
    bool SelectDrive(int32_t drive);
    void TakeParameters();
    void ReadTrackList();
    void AppendTracks(int32_t count);
    std::string CDText(int32_t track, int32_t field) const;
    void SaveJitterFile(const std::string& outputFileName);

    cdrip::TCdRipApi FApi;
    cdrip::TFileSystem& FFiles;
    TLameCoder* FCoder = nullptr;
    int32_t FCDRomNum = 0;
    TDriveTableClass FDriveTable;
    TOutputFormat FOutputFormat = STEREO44100;
    bool FEncode = false;
    bool FWriteWAV = false;
    bool FJitterCorrect = false;
    std::string FVersion;
    int32_t FSpeed = 0;
    int32_t FCDTextLanguage = CDRIP_TEXT_ENGLISH;

    std::string FCDRomName;
    TTrackList FTracks;
    int32_t FTrackCount = 0;
    std::string FAlbumTitle;
    std::string FAlbumPerformer;
    TTrackTags FTags;  // of the track RipTrack copies
    std::vector<std::string> FJitterPositions;
    int32_t FJitterErrorCount = 0;
    bool FAborted = false;
    bool FOutputComplete = false;  // this rip's output is under its final name
    TCDRomParameters FParameters{};
};

// CDRIP1 as the dialog's stored layout builds it: constructor, the stored
// properties in stored order (CDRomNum 0, the drive table, WriteWAV, Version
// "111", Speed 32, the two events), then the Coder reference.
std::unique_ptr<TCDRIP> CreateStoredCDRIP1(TLameCoder* coder, TProcessTrackEvent onEndTrack,
                                           TProgressEvent onProgress,
                                           const cdrip::TCdRipApi& api = cdrip::LinkedCdRipApi(),
                                           cdrip::TFileSystem& files = cdrip::DiskFileSystem());
