// The exported C interface of the extraction library.  All state lives in one
// Library object: the drive table, the active drive, the per-drive settings
// and readers, the last table of contents read and the open extraction, if
// any.
//
// What the calls give beyond <ripper/CDRip.h>:
// - drives are numbered by cddrives::RefreshDrives() at the last CR_Init;
//   drive 0 is active after it.  CR_Init also closes an open extraction.
// - identification text: "VENDOR MODEL REVISION (/dev/sr0)" for a real
//   drive (INQUIRY's padding trimmed, asked once per drive, also when it
//   failed; "CD drive (/dev/sr0)" without an answer), "/dev/sr0 (no
//   permission: add yourself to group cdrom)" for a drive the user may not
//   read, "Virtual CD drive (<image file name>)" for a tray of CDRIP_IMAGES.
// - speed 0 (the drive's own choice); drive table GENERIC, READMMC,
//   SPEEDMMC (SPEEDNONE for a virtual drive), LITTLEENDIAN, ENABLENONE,
//   density 0, ATAPI -1 (0 for a virtual drive).  Only the jitter flag and
//   the output format are taken back by CR_SetCDROMParameters, per drive.
// - CR_ReadToc reading on call opens the disc anew every time; after a
//   failure the table is empty.  The lead-out entry has flags 0x10 and track
//   number 0xAA.  A real drive without a ready disc (empty, tray open,
//   spinning up) fails at once: the drive status is asked before the table,
//   and the next call simply asks again.  The disc's CD-Text is read with
//   the table (by the reader only when the table changed) and kept with it.
// - reading in background: each drive gets a DriveReader when first needed;
//   CR_ReadToc asks it to look again and waits kReaderPatience at most for
//   that look, else answers from the last one; CR_GetCDROMParameters waits as
//   long only for the first answer of a drive.  The dialog's refresh thus
//   never waits for a busy or slow drive, and a disc image or an idle drive
//   still shows within the same call.
// - extraction: see Extraction.cpp (read size, results, jitter numbers, the
//   worker that keeps every call from waiting for the drive) and Faults.h
//   (fault injection for tests).  CR_OpenRipper refuses at once only what it
//   can tell without the drive; a disc that cannot be read, or that differs
//   from the last table of contents CR_ReadToc read for the drive, gives 1 on
//   every CR_RipChunk instead.  CR_RipChunk returns 0 with 0 bytes while the
//   drive has nothing ready yet; CR_CloseRipper never waits for a read.
#include <ripper/CDRip.h>

#include "CdioLog.h"
#include "DiscAccess.h"
#include "DriveClaim.h"
#include "DriveReader.h"
#include "Extraction.h"
#include "PathNames.h"
#include "Utf8.h"

#include <cddrives/CdDrives.h>
#include <cdio/logging.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int32_t kVersion = CDRIP_API_VERSION;
constexpr int32_t kFormatCount = 6;

// Long enough for a disc image or an idle drive to answer within the call,
// far below anything a user notices.
constexpr auto kReaderPatience = std::chrono::milliseconds(30);

struct DriveState {
    explicit DriveState(cddrives::Drive d) : drive(std::move(d)) {}

    cddrives::Drive drive;
    cdrip::ExtractionSettings settings;
    bool identified = false;  // INQUIRY was asked (answered or not)
    std::string identification;
    // What the last successful CR_ReadToc of this drive read: an extraction
    // refuses a disc whose table differs.  None after a failed read.
    std::optional<cdrip::DiscToc> lastToc;
    std::vector<cdrip::DiscText> lastText;       // read with lastToc
    int32_t discStatus = CDRIP_DISC_UNKNOWN;     // of the last CR_ReadToc
    std::unique_ptr<cdrip::DriveReader> reader;  // reading in background, once needed
};

class Library {
public:
    int32_t Init()
    {
        cdrip::InstallLogHandler();
        ripper_.reset();
        drives_.clear();
        for (const cddrives::Drive& drive : cddrives::RefreshDrives())
            drives_.emplace_back(drive);
        active_ = 0;
        ClearToc();
        return CDRIP_OK;
    }

    int32_t SetDriveReading(int32_t mode)
    {
        if (mode != CDRIP_READ_ON_CALL && mode != CDRIP_READ_IN_BACKGROUND)
            return CDRIP_ERROR;
        background_ = mode == CDRIP_READ_IN_BACKGROUND;
        if (!background_) {
            for (DriveState& state : drives_)
                state.reader.reset();
        }
        return CDRIP_OK;
    }

    int32_t Active() const { return active_; }

    int32_t SetActive(int32_t drive)
    {
        if (drive < 0 || drive >= static_cast<int32_t>(drives_.size()))
            return CDRIP_ERROR;
        if (drive != active_) {
            ripper_.reset();
            ClearToc();
        }
        active_ = drive;
        return CDRIP_OK;
    }

    int32_t GetParameters(TCDRomParameters* params)
    {
        DriveState* state = ActiveDrive();
        if (params == nullptr || state == nullptr)
            return CDRIP_ERROR;
        const std::string name = Identification(*state);
        std::memset(params->CDROMID, 0, sizeof params->CDROMID);
        std::memcpy(params->CDROMID, name.data(), std::min(name.size(), sizeof params->CDROMID - 1));
        params->Speed = 0;
        params->JitterCorrection = state->settings.jitterCorrection ? -1 : 0;
        const int32_t table[7] = {GENERIC,
                                  READMMC,
                                  state->drive.isImage ? SPEEDNONE : SPEEDMMC,
                                  LITTLEENDIAN,
                                  ENABLENONE,
                                  0,
                                  state->drive.isImage ? 0 : -1};
        std::memcpy(params->DriveTable, table, sizeof table);
        CR_SetParamOutputFormat(params, state->settings.outputFormat);
        return CDRIP_OK;
    }

    int32_t SetParameters(const TCDRomParameters* params)
    {
        DriveState* state = ActiveDrive();
        if (params == nullptr || state == nullptr)
            return CDRIP_ERROR;
        const int32_t format = CR_ParamOutputFormat(params);
        if (format < 0 || format >= kFormatCount)
            return CDRIP_ERROR;
        state->settings.outputFormat = format;
        state->settings.jitterCorrection = params->JitterCorrection != 0;
        return CDRIP_OK;
    }

    int32_t ReadToc()
    {
        ClearToc();
        DriveState* state = ActiveDrive();
        if (state == nullptr)
            return CDRIP_ERROR;
        const cdrip::DiscLook look = background_ ? LookFromReader(*state) : LookNow(*state);
        state->discStatus = look.status;
        state->lastToc = look.toc;
        state->lastText = look.text;
        if (!look.toc)
            return CDRIP_ERROR;
        SetToc(*look.toc);
        text_ = look.text;
        return CDRIP_OK;
    }

    int32_t DiscStatus(int32_t* status) const
    {
        const DriveState* state = ActiveDrive();
        if (status == nullptr || state == nullptr)
            return CDRIP_ERROR;
        *status = state->discStatus;
        return CDRIP_OK;
    }

    int32_t NumTocEntries() const { return toc_.empty() ? 0 : static_cast<int32_t>(toc_.size() - 1); }

    TTocEntry TocEntry(int32_t index) const
    {
        if (index < 0 || index >= static_cast<int32_t>(toc_.size()))
            return TTocEntry{};
        return toc_[static_cast<size_t>(index)];
    }

    int32_t TrackLastSector(int32_t index, int32_t* lastSector) const
    {
        if (lastSector == nullptr || index < 0 || index >= static_cast<int32_t>(lastSectors_.size()))
            return CDRIP_ERROR;
        *lastSector = lastSectors_[static_cast<size_t>(index)];
        return CDRIP_OK;
    }

    int32_t CDText(int32_t track, int32_t field, int32_t language, char* text, int32_t size) const
    {
        if (text == nullptr || size < 1)
            return CDRIP_ERROR;
        text[0] = '\0';
        const cdrip::DiscText* block = cdrip::ChooseDiscText(
            text_, language >= 0 && language <= 0xFF ? static_cast<uint8_t>(language) : 0);
        if (block == nullptr || track < 0 || track > static_cast<int32_t>(block->tracks.size()))
            return CDRIP_ERROR;
        const bool album = track == 0;
        const cdrip::TrackText* ofTrack = album ? nullptr : &block->tracks[static_cast<size_t>(track - 1)];
        const std::string* found = nullptr;
        if (field == CDRIP_TEXT_TITLE)
            found = album ? &block->title : &ofTrack->title;
        else if (field == CDRIP_TEXT_PERFORMER)
            found = album ? &block->performer : &ofTrack->performer;
        if (found == nullptr || found->empty())
            return CDRIP_ERROR;
        const std::string_view fits = util::Utf8Prefix(*found, static_cast<size_t>(size) - 1);
        std::memcpy(text, fits.data(), fits.size());
        text[fits.size()] = '\0';
        return CDRIP_OK;
    }

    int32_t OpenRipper(int32_t* readSize, int32_t start, int32_t end)
    {
        ripper_.reset();
        const DriveState* state = ActiveDrive();
        if (readSize == nullptr || state == nullptr)
            return CDRIP_ERROR;
        ripper_ = cdrip::Extraction::Open(
            cdrip::ExtractionRequest{state->drive, state->settings, start, end, state->lastToc});
        if (!ripper_)
            return CDRIP_ERROR;
        *readSize = ripper_->ReadSize();
        return CDRIP_OK;
    }

    int32_t RipChunk(uint8_t* buffer, int32_t* delivered)
    {
        if (delivered != nullptr)
            *delivered = 0;
        if (!ripper_ || buffer == nullptr || delivered == nullptr)
            return CDRIP_ERROR;
        return ripper_->RipChunk(buffer, delivered);
    }

    int32_t Percent() const { return ripper_ ? ripper_->PercentCompleted() : 0; }
    int32_t JitterErrors() const { return ripper_ ? ripper_->JitterErrors() : 0; }

    void LastJitter(int32_t* first, int32_t* last) const
    {
        int32_t a = 0;
        int32_t b = 0;
        if (ripper_)
            ripper_->LastJitterPosition(&a, &b);
        if (first != nullptr)
            *first = a;
        if (last != nullptr)
            *last = b;
    }

    int32_t CloseRipper()
    {
        ripper_.reset();
        return CDRIP_OK;
    }

private:
    static TTocEntry Entry(int32_t start, uint8_t flags, uint8_t number)
    {
        TTocEntry entry{};
        entry.StartSector = start;
        entry.Flags = flags;
        entry.TrackNumber = number;
        return entry;
    }

    void ClearToc()
    {
        toc_.clear();
        lastSectors_.clear();
        text_.clear();
    }

    // The entries and, per track, its last sector: before the next track, and
    // for audio before whatever follows its run of audio that is no audio
    // (a data track's pregap, the gap between the sessions of a CD-Extra).
    void SetToc(const cdrip::DiscToc& toc)
    {
        for (size_t i = 0; i < toc.tracks.size(); ++i) {
            const cdrip::TocTrack& track = toc.tracks[i];
            toc_.push_back(Entry(track.start, track.audio ? 0x10 : 0x14, track.number));
            const int32_t next = i + 1 < toc.tracks.size() ? toc.tracks[i + 1].start : toc.leadOut;
            const int32_t last = next - 1;
            lastSectors_.push_back(
                track.audio ? std::min(last, cdrip::LastAudioSector(toc, static_cast<int>(i))) : last);
        }
        const uint8_t leadOutNumber = static_cast<uint8_t>(CDIO_CDROM_LEADOUT_TRACK);
        toc_.push_back(Entry(toc.leadOut, 0x10, leadOutNumber));
    }

    static cdrip::DiscLook LookNow(const DriveState& state)
    {
        // A closed extraction's worker still waits for a read of this drive,
        // which would hold our TOC read as long; the disc cannot have changed
        // under that read.
        if (state.lastToc && cdrip::DriveInUse(state.drive.path))
            return cdrip::DiscLook{CDRIP_DISC_READY, state.lastToc, state.lastText};
        return cdrip::LookAtDisc(state.drive);
    }

    static cdrip::DiscLook LookFromReader(DriveState& state)
    {
        cdrip::DriveReader* reader = ReaderOf(state);
        if (reader == nullptr)
            return {};
        const uint64_t wanted = reader->RequestLook();
        return reader
            ->Latest([wanted](const cdrip::DriveSnapshot& s) { return s.look >= wanted; }, kReaderPatience)
            .disc;
    }

    // Null when no thread can be started now; the next call tries again.
    static cdrip::DriveReader* ReaderOf(DriveState& state)
    {
        try {
            if (!state.reader)
                state.reader = std::make_unique<cdrip::DriveReader>(state.drive);
        } catch (const std::exception& error) {
            cdio_log(CDIO_LOG_WARN, "cdrip: no reader for %s: %s", state.drive.path.c_str(), error.what());
        }
        return state.reader.get();
    }

    std::string Identification(DriveState& state) const
    {
        const cddrives::Drive& drive = state.drive;
        if (drive.isImage)
            return "Virtual CD drive (" + util::BaseName(drive.path) + ")";
        if (!drive.problem.empty())
            return drive.path + " (" + drive.problem + ")";
        if (!state.identified && background_) {
            const bool first = !state.reader;
            if (cdrip::DriveReader* reader = ReaderOf(state)) {
                const cdrip::DriveSnapshot snapshot =
                    reader->Latest([](const cdrip::DriveSnapshot& s) { return s.identified; },
                                   first ? kReaderPatience : std::chrono::milliseconds(0));
                state.identified = snapshot.identified;
                state.identification = snapshot.identification;
            }
        } else if (!state.identified) {
            state.identification = cdrip::Identify(drive.path);
            state.identified = true;
        }
        return (state.identification.empty() ? std::string("CD drive") : state.identification) + " (" +
               drive.path + ")";
    }

    const DriveState* ActiveDrive() const
    {
        if (active_ < 0 || active_ >= static_cast<int32_t>(drives_.size()))
            return nullptr;
        return &drives_[static_cast<size_t>(active_)];
    }
    DriveState* ActiveDrive()
    {
        return const_cast<DriveState*>(static_cast<const Library*>(this)->ActiveDrive());
    }

    std::vector<DriveState> drives_;
    int32_t active_ = 0;
    bool background_ = false;
    std::vector<TTocEntry> toc_;        // n track entries, then the lead-out
    std::vector<int32_t> lastSectors_;  // one per track
    std::vector<cdrip::DiscText> text_;  // the CD-Text blocks of the last table read
    std::unique_ptr<cdrip::Extraction> ripper_;
};

Library& TheLibrary()
{
    static Library library;
    return library;
}

}  // namespace

extern "C" {

CDRIP_API int32_t CDRIP_CALL CR_GetCDRipVersion(void) { return kVersion; }
CDRIP_API int32_t CDRIP_CALL CR_Init(void) { return TheLibrary().Init(); }
CDRIP_API int32_t CDRIP_CALL CR_GetActiveCDROM(void) { return TheLibrary().Active(); }
CDRIP_API int32_t CDRIP_CALL CR_SetActiveCDROM(int32_t drive) { return TheLibrary().SetActive(drive); }

CDRIP_API int32_t CDRIP_CALL CR_GetCDROMParameters(TCDRomParameters* params)
{
    return TheLibrary().GetParameters(params);
}

CDRIP_API int32_t CDRIP_CALL CR_SetCDROMParameters(TCDRomParameters* params)
{
    return TheLibrary().SetParameters(params);
}

CDRIP_API int32_t CDRIP_CALL CR_SetDriveReading(int32_t mode) { return TheLibrary().SetDriveReading(mode); }
CDRIP_API int32_t CDRIP_CALL CR_ReadToc(void) { return TheLibrary().ReadToc(); }
CDRIP_API int32_t CDRIP_CALL CR_GetDiscStatus(int32_t* status) { return TheLibrary().DiscStatus(status); }
CDRIP_API int32_t CDRIP_CALL CR_GetNumTocEntries(void) { return TheLibrary().NumTocEntries(); }
CDRIP_API TTocEntry CDRIP_CALL CR_GetTocEntry(int32_t index) { return TheLibrary().TocEntry(index); }

CDRIP_API int32_t CDRIP_CALL CR_GetTrackLastSector(int32_t index, int32_t* lastSector)
{
    return TheLibrary().TrackLastSector(index, lastSector);
}

CDRIP_API int32_t CDRIP_CALL CR_GetCDText(int32_t track, int32_t field, int32_t language, char* text,
                                          int32_t size)
{
    return TheLibrary().CDText(track, field, language, text, size);
}

CDRIP_API int32_t CDRIP_CALL CR_OpenRipper(int32_t* readSize, int32_t startSector, int32_t endSector)
{
    return TheLibrary().OpenRipper(readSize, startSector, endSector);
}

CDRIP_API int32_t CDRIP_CALL CR_RipChunk(uint8_t* buffer, int32_t* bytesDelivered)
{
    return TheLibrary().RipChunk(buffer, bytesDelivered);
}

CDRIP_API int32_t CDRIP_CALL CR_GetPercentCompleted(void) { return TheLibrary().Percent(); }
CDRIP_API int32_t CDRIP_CALL CR_GetNumberOfJitterErrors(void) { return TheLibrary().JitterErrors(); }

CDRIP_API void CDRIP_CALL CR_GetLastJitterErrorPosition(int32_t* first, int32_t* last)
{
    TheLibrary().LastJitter(first, last);
}

CDRIP_API int32_t CDRIP_CALL CR_CloseRipper(void) { return TheLibrary().CloseRipper(); }

}  // extern "C"
