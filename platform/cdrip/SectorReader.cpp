#include "SectorReader.h"

#include "CdSectors.h"

#include <cdio/memory.h>
#include <cdio/mmc.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace cdrip {
namespace {

constexpr int32_t kSectorBytes = util::kCdSectorBytes;
constexpr int32_t kWordsPerSector = kSectorBytes / 2;
constexpr int kParanoiaRetries = 20;
// Commands for one sector of the range before it counts as unreadable.
constexpr int kSectorAttempts = 3;
// Paranoia's model of the drive's own cache, in sectors (its default is
// 1200).  The memory paranoia holds grows with it: 1200 sectors cost about
// 14 MB more than 400 (riptrack: 28 MB against 14 MB), while 400 sectors
// (940 kB) still cover the read cache of a common CD drive.
constexpr int kCacheModelSectors = 400;

bool IsDrive(CdIo_t* cdio) { return cdio != nullptr && cdio_get_driver_id(cdio) == DRIVER_LINUX; }

// The sense key and additional sense code of the drive's answer to the last
// command; false when it gave none.
bool LastSense(CdIo_t* cdio, unsigned& key, unsigned& asc)
{
    cdio_mmc_request_sense_t* sense = nullptr;
    const int length = mmc_last_cmd_sense(cdio, &sense);
    const bool given = sense != nullptr && length >= 14;
    if (given) {
        key = sense->sense_key;
        asc = sense->asc;
    }
    if (sense != nullptr)
        cdio_free(sense);
    return given;
}

// Watches a real drive's answers to failed reads and decides when the drive
// is lost for the rest of the rip.  Inert for disc images.
class DriveWatch {
public:
    explicit DriveWatch(CdIo_t* cdio) : cdio_(cdio)
    {
        if (IsDrive(cdio)) {
            if (const char* source = cdio_get_arg(cdio, "source"))
                device_ = source;
        }
    }

    bool Lost() const { return lost_; }

    // Called after a read failed: the sense data of the failed command tell
    // most; when they do not, the drive status says whether a disc is in.
    void AfterFailure()
    {
        if (lost_ || device_.empty())
            return;
        if (SenseSaysLost()) {
            lost_ = true;
            return;
        }
        const TrayState tray = ProbeTray(device_);
        lost_ = tray == TrayState::NoDisc || tray == TrayState::TrayOpen || tray == TrayState::CannotOpen;
    }

private:
    bool SenseSaysLost() const
    {
        unsigned key = 0;
        unsigned asc = 0;
        if (!LastSense(cdio_, key, asc))
            return false;
        return (key == CDIO_MMC_SENSE_KEY_NOT_READY && asc == 0x3A) ||       // no medium
               (key == CDIO_MMC_SENSE_KEY_UNIT_ATTENTION && asc == 0x28) ||  // disc changed
               (key == CDIO_MMC_SENSE_KEY_ILLEGAL_REQUEST &&                 // refuses audio
                (asc == 0x20 || asc == 0x24 || asc == 0x64));
    }

    CdIo_t* cdio_;
    std::string device_;  // empty: not a real drive
    bool lost_ = false;
};

class PlainReader final : public SectorReader {
public:
    PlainReader(CdioPtr cdio, const ReadScope& scope)
        : cdio_(std::move(cdio)), scope_(scope), watch_(cdio_.get())
    {}

    bool Read(int32_t lsn, int32_t count, uint8_t* out, std::set<int32_t>&,
              const std::atomic<bool>& stop) override
    {
        if (stop || watch_.Lost() || lsn + count > scope_.readableEnd)
            return false;
        if (cdio_read_audio_sectors(cdio_.get(), out, lsn, static_cast<uint32_t>(count)) == DRIVER_OP_SUCCESS)
            return true;
        watch_.AfterFailure();
        return false;
    }

    bool DriveLost() const override { return watch_.Lost(); }

private:
    CdioPtr cdio_;
    const ReadScope scope_;
    DriveWatch watch_;
};

struct DriveCloser {
    void operator()(cdrom_drive_t* drive) const { cdio_cddap_close_no_free_cdio(drive); }
};
struct ParanoiaFree {
    void operator()(cdrom_paranoia_t* paranoia) const { cdio_paranoia_free(paranoia); }
};

bool AllZero(const uint8_t* sector)
{
    return std::all_of(sector, sector + kSectorBytes, [](uint8_t b) { return b == 0; });
}

class ParanoiaReader;

// Paranoia's callback carries no user pointer, nor does the drive's read
// function; the reading thread points this at the reader and the report set
// of the read in progress.
struct CallbackTarget {
    ParanoiaReader* reader = nullptr;
    std::set<int32_t>* reported = nullptr;
    const std::atomic<bool>* stop = nullptr;
};
thread_local CallbackTarget t_target;

using DriveRead = long (*)(cdrom_drive_t*, void*, lsn_t, long);

// Paranoia reads through the drive's read function, which we put ourselves
// in front of.  Paranoia itself handles a failed read badly: it gives up on
// a whole read's worth of sectors, fills them all with silence, and when the
// read that failed was the first after a seek it never returns at all (it
// skips to sector 0 every 2 s).  So paranoia never sees a failed read: a
// read that fails is repeated sector by sector, and only the sectors the
// drive cannot read become silence, noted in `filled_` when they belong to
// the range.  Paranoia then verifies what it got as usual.  Once the drive
// is lost, or the extraction is closed, every read is silence without a
// command, which ends paranoia's read quickly (an abandoned worker ends
// after the read in flight); Read() throws that away and fails.
class ParanoiaReader final : public SectorReader {
public:
    static std::unique_ptr<SectorReader> Open(CdioPtr cdio, const ReadScope& scope, bool simulateJitter)
    {
        std::unique_ptr<ParanoiaReader> reader(new ParanoiaReader(std::move(cdio), scope));
        return reader->Start(simulateJitter) ? std::move(reader) : nullptr;
    }

    bool Read(int32_t lsn, int32_t count, uint8_t* out, std::set<int32_t>& reported,
              const std::atomic<bool>& stop) override
    {
        if (watch_.Lost())
            return false;
        // Paranoia is never asked for a sector past the readable end: it
        // could not read it, and would not return.
        const int32_t readable = std::max(0, std::min(count, scope_.readableEnd - lsn));
        if (readable > 0 && lsn != next_) {
            cdio_paranoia_seek(paranoia_.get(), lsn, SEEK_SET);
            next_ = lsn;
        }
        t_target = CallbackTarget{this, &reported, &stop};
        std::set<int32_t> filledHere;
        bool ok = true;
        for (int32_t i = 0; i < readable && ok; ++i) {
            if (stop) {
                ok = false;
                break;
            }
            const int16_t* sector =
                cdio_paranoia_read_limited(paranoia_.get(), ParanoiaCallback, kParanoiaRetries);
            if (sector == nullptr || watch_.Lost() || stop) {
                ok = false;
                break;
            }
            uint8_t* target = out + static_cast<size_t>(i) * kSectorBytes;
            std::memcpy(target, sector, kSectorBytes);
            // Paranoia may have preferred a later good read of a sector that
            // was once filled; only silence that reaches the caller counts.
            if (filled_.count(lsn + i) != 0 && AllZero(target))
                filledHere.insert(lsn + i);
            filled_.erase(filled_.begin(), filled_.upper_bound(lsn + i));
            ++next_;
        }
        t_target = CallbackTarget{};
        if (!ok) {
            next_ = -1;  // seek again before the retry
            return false;
        }
        for (int32_t i = readable; i < count; ++i) {
            std::memset(out + static_cast<size_t>(i) * kSectorBytes, 0, kSectorBytes);
            filledHere.insert(lsn + i);
        }
        // Made-up audio is what this read reports when it holds any: the
        // fix-ups paranoia makes at the edges of the silence only echo it.
        if (!filledHere.empty()) {
            reported.erase(reported.begin(), reported.lower_bound(lsn + count));
            reported.insert(filledHere.begin(), filledHere.end());
        }
        return true;
    }

    bool DriveLost() const override { return watch_.Lost(); }

private:
    ParanoiaReader(CdioPtr cdio, const ReadScope& scope)
        : cdio_(std::move(cdio)), scope_(scope), watch_(cdio_.get())
    {}

    bool Start(bool simulateJitter)
    {
        char* messages = nullptr;
        drive_.reset(cdio_cddap_identify_cdio(cdio_.get(), CDDA_MESSAGE_LOGIT, &messages));
        cdio_cddap_free_messages(messages);
        if (!drive_)
            return false;
        cdio_cddap_verbose_set(drive_.get(), CDDA_MESSAGE_FORGETIT, CDDA_MESSAGE_FORGETIT);
        if (cdio_cddap_open(drive_.get()) != 0)
            return false;
        // Paranoia guesses the byte order from the audio and takes noise for
        // big-endian; CD audio reaches us little-endian from images and drives.
        drive_->bigendianp = 0;
        // One command per read, all or nothing: with its own retries the
        // drive layer sends a failed read again with fewer sectors, returns
        // the shorter read as a success, and takes a failed one-sector read
        // for a good one.
        drive_->error_retry = 0;
        if (simulateJitter)
            drive_->i_test_flags = 1;
        paranoia_.reset(cdio_paranoia_init(drive_.get()));
        if (!paranoia_)
            return false;
        cdio_paranoia_modeset(paranoia_.get(), PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
        cdio_paranoia_cachemodel_size(paranoia_.get(), kCacheModelSectors);
        // Paranoia's own idea of where the audio ends bounds what it reads.
        const lsn_t last = cdio_cddap_disc_lastsector(drive_.get());
        if (last >= 0)
            scope_.readableEnd = std::min(scope_.readableEnd, static_cast<int32_t>(last) + 1);
        driveRead_ = drive_->read_audio;
        drive_->read_audio = &ParanoiaReader::ReadAudio;
        return true;
    }

    bool InRange(int32_t first, int32_t count) const
    {
        return first >= scope_.first && first + count - 1 <= scope_.last;
    }

    static long ReadAudio(cdrom_drive_t* drive, void* buffer, lsn_t begin, long sectors)
    {
        ParanoiaReader* reader = t_target.reader;
        if (reader == nullptr || reader->drive_.get() != drive)
            return -1;
        return reader->ReadBlock(static_cast<uint8_t*>(buffer), begin, sectors);
    }

    // Sends the command unless the drive is lost or the sectors lie past the
    // readable end; a failure tells about the drive only within the range.
    bool DriveReads(uint8_t* buffer, int32_t begin, int32_t sectors)
    {
        if (watch_.Lost() || begin + sectors > scope_.readableEnd)
            return false;
        if (driveRead_(drive_.get(), buffer, begin, sectors) == sectors)
            return true;
        if (InRange(begin, sectors))
            watch_.AfterFailure();
        return false;
    }

    long ReadBlock(uint8_t* buffer, lsn_t begin, long sectors)
    {
        const std::atomic<bool>* stop = t_target.stop;
        if (stop != nullptr && *stop) {
            if (buffer != nullptr)
                std::memset(buffer, 0, static_cast<size_t>(sectors) * kSectorBytes);
            return sectors;
        }
        const int32_t first = static_cast<int32_t>(begin);
        const int32_t count = static_cast<int32_t>(sectors);
        // A read that only moves the drive's cache along delivers nothing,
        // so a failure changes nothing for the audio.
        if (DriveReads(buffer, first, count) || buffer == nullptr)
            return sectors;
        for (int32_t i = 0; i < count; ++i) {
            uint8_t* sector = buffer + static_cast<size_t>(i) * kSectorBytes;
            const bool inRange = InRange(first + i, 1);
            bool read = false;
            for (int attempt = 0; attempt < (inRange ? kSectorAttempts : 1) && !read; ++attempt)
                read = DriveReads(sector, first + i, 1);
            if (read)
                continue;
            std::memset(sector, 0, kSectorBytes);
            if (inRange)
                filled_.insert(first + i);
        }
        return sectors;
    }

    static void ParanoiaCallback(long inpos, paranoia_cb_mode_t event)
    {
        if (t_target.reader == nullptr || inpos < 0)
            return;
        switch (event) {
        case PARANOIA_CB_FIXUP_EDGE:
        case PARANOIA_CB_FIXUP_ATOM:
        case PARANOIA_CB_FIXUP_DROPPED:
        case PARANOIA_CB_FIXUP_DUPED:
        case PARANOIA_CB_SCRATCH:
        case PARANOIA_CB_REPAIR:
        case PARANOIA_CB_DRIFT:
        case PARANOIA_CB_SKIP:
            t_target.reported->insert(static_cast<int32_t>(inpos / kWordsPerSector));
            break;
        default: break;
        }
    }

    // Declared so that paranoia goes first, then the drive, then the CdIo
    // handle the drive was made from.
    CdioPtr cdio_;
    ReadScope scope_;
    DriveWatch watch_;
    std::unique_ptr<cdrom_drive_t, DriveCloser> drive_;
    std::unique_ptr<cdrom_paranoia_t, ParanoiaFree> paranoia_;
    int32_t next_ = -1;  // the sector paranoia reads next
    DriveRead driveRead_ = nullptr;
    std::set<int32_t> filled_;  // read as silence, not yet handed out
};

// Whether the drive refuses to read the sector as audio because it is data
// (illegal mode for this track).
bool DataSector(CdIo_t* cdio, int32_t lsn)
{
    std::vector<uint8_t> sector(kSectorBytes);
    if (cdio_read_audio_sectors(cdio, sector.data(), lsn, 1) == DRIVER_OP_SUCCESS)
        return false;
    unsigned key = 0;
    unsigned asc = 0;
    return LastSense(cdio, key, asc) && key == CDIO_MMC_SENSE_KEY_ILLEGAL_REQUEST && asc == 0x64;
}

}  // namespace

std::unique_ptr<SectorReader> MakePlainReader(CdioPtr cdio, const ReadScope& scope)
{
    return std::make_unique<PlainReader>(std::move(cdio), scope);
}

std::unique_ptr<SectorReader> MakeParanoiaReader(CdioPtr cdio, const ReadScope& scope, bool simulateJitter)
{
    return ParanoiaReader::Open(std::move(cdio), scope, simulateJitter);
}

int32_t LastAudioBeforeData(CdIo_t* cdio, int32_t first, int32_t last)
{
    if (!IsDrive(cdio) || !DataSector(cdio, last))
        return last;
    // The data run at the end: `audio` is not data (or before the range),
    // `data` is.
    int32_t audio = first - 1;
    int32_t data = last;
    while (data - audio > 1) {
        const int32_t middle = audio + (data - audio) / 2;
        (DataSector(cdio, middle) ? data : audio) = middle;
    }
    return audio;
}

}  // namespace cdrip
