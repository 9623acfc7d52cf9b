#include "SectorReader.h"

#include <cdio/memory.h>
#include <cdio/mmc.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace cdrip {
namespace {

constexpr int32_t kSectorBytes = CDIO_CD_FRAMESIZE_RAW;
constexpr int32_t kWordsPerSector = kSectorBytes / 2;
constexpr int kParanoiaRetries = 20;
// Paranoia's model of the drive's own cache, in sectors (its default is
// 1200).  The memory paranoia holds grows with it: 1200 sectors cost about
// 14 MB more than 400 (riptrack: 28 MB against 14 MB), while 400 sectors
// (940 kB) still cover the read cache of a common CD drive.
constexpr int kCacheModelSectors = 400;

// Watches a real drive's answers to failed reads and decides when the drive
// is lost for the rest of the rip.  Inert for disc images.
class DriveWatch {
public:
    explicit DriveWatch(CdIo_t* cdio) : cdio_(cdio)
    {
        if (cdio != nullptr && cdio_get_driver_id(cdio) == DRIVER_LINUX) {
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
        cdio_mmc_request_sense_t* sense = nullptr;
        const int length = mmc_last_cmd_sense(cdio_, &sense);
        bool lost = false;
        if (sense != nullptr && length >= 14) {
            const unsigned key = sense->sense_key;
            const unsigned asc = sense->asc;
            lost = (key == CDIO_MMC_SENSE_KEY_NOT_READY && asc == 0x3A) ||       // no medium
                   (key == CDIO_MMC_SENSE_KEY_UNIT_ATTENTION && asc == 0x28) ||  // disc changed
                   (key == CDIO_MMC_SENSE_KEY_ILLEGAL_REQUEST &&                 // refuses audio
                    (asc == 0x20 || asc == 0x24 || asc == 0x64));
        }
        if (sense != nullptr)
            cdio_free(sense);
        return lost;
    }

    CdIo_t* cdio_;
    std::string device_;  // empty: not a real drive
    bool lost_ = false;
};

class PlainReader final : public SectorReader {
public:
    explicit PlainReader(CdioPtr cdio) : cdio_(std::move(cdio)), watch_(cdio_.get()) {}

    bool Read(int32_t lsn, int32_t count, uint8_t* out, std::set<int32_t>&,
              const std::atomic<bool>& stop) override
    {
        if (stop || watch_.Lost())
            return false;
        if (cdio_read_audio_sectors(cdio_.get(), out, lsn, static_cast<uint32_t>(count)) == DRIVER_OP_SUCCESS)
            return true;
        watch_.AfterFailure();
        return false;
    }

    bool DriveLost() const override { return watch_.Lost(); }

private:
    CdioPtr cdio_;
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
// drive cannot read become silence, noted in `filled_`.  Paranoia then
// verifies what it got as usual.  Once the drive is lost, or the extraction
// is closed, every read is silence without a command, which ends paranoia's
// read quickly (an abandoned worker ends after the read in flight); Read()
// throws that away and fails.
class ParanoiaReader final : public SectorReader {
public:
    // Members are declared so that paranoia goes first, then the drive, then
    // the CdIo handle the drive was made from.
    CdioPtr cdio_;
    std::unique_ptr<cdrom_drive_t, DriveCloser> drive_;
    std::unique_ptr<cdrom_paranoia_t, ParanoiaFree> paranoia_;
    int32_t next_ = -1;  // the sector paranoia reads next
    std::unique_ptr<DriveWatch> watch_;
    DriveRead driveRead_ = nullptr;
    std::set<int32_t> filled_;  // read as silence, not yet handed out

    void TakeOverReads()
    {
        driveRead_ = drive_->read_audio;
        drive_->read_audio = &ParanoiaReader::ReadAudio;
    }

    bool Read(int32_t lsn, int32_t count, uint8_t* out, std::set<int32_t>& reported,
              const std::atomic<bool>& stop) override
    {
        if (watch_->Lost())
            return false;
        if (lsn != next_) {
            cdio_paranoia_seek(paranoia_.get(), lsn, SEEK_SET);
            next_ = lsn;
        }
        t_target = CallbackTarget{this, &reported, &stop};
        std::set<int32_t> filledHere;
        bool ok = true;
        for (int32_t i = 0; i < count && ok; ++i) {
            if (stop) {
                ok = false;
                break;
            }
            const int16_t* sector =
                cdio_paranoia_read_limited(paranoia_.get(), ParanoiaCallback, kParanoiaRetries);
            if (sector == nullptr || watch_->Lost() || stop) {
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
        // Made-up audio is what this read reports when it holds any: the
        // fix-ups paranoia makes at the edges of the silence only echo it.
        if (!filledHere.empty()) {
            reported.erase(reported.begin(), reported.lower_bound(lsn + count));
            reported.insert(filledHere.begin(), filledHere.end());
        }
        return true;
    }

    int32_t LastReadableSector() const override
    {
        const lsn_t last = cdio_cddap_disc_lastsector(drive_.get());
        return last < 0 ? -1 : last;
    }

    bool DriveLost() const override { return watch_->Lost(); }

private:
    static long ReadAudio(cdrom_drive_t* drive, void* buffer, lsn_t begin, long sectors)
    {
        ParanoiaReader* reader = t_target.reader;
        if (reader == nullptr || reader->drive_.get() != drive)
            return -1;
        return reader->ReadBlock(static_cast<uint8_t*>(buffer), begin, sectors);
    }

    long ReadBlock(uint8_t* buffer, lsn_t begin, long sectors)
    {
        const std::atomic<bool>* stop = t_target.stop;
        if (stop != nullptr && *stop) {
            if (buffer != nullptr)
                std::memset(buffer, 0, static_cast<size_t>(sectors) * kSectorBytes);
            return sectors;
        }
        if (buffer == nullptr) {
            // A read that only moves the drive's cache along: nothing to
            // deliver, so a failure changes nothing for the audio.
            if (!watch_->Lost() && driveRead_(drive_.get(), nullptr, begin, sectors) <= 0)
                watch_->AfterFailure();
            return sectors;
        }
        if (!watch_->Lost()) {
            const long got = driveRead_(drive_.get(), buffer, begin, sectors);
            if (got > 0)
                return got;
            watch_->AfterFailure();
        }
        for (long i = 0; i < sectors; ++i) {
            uint8_t* sector = buffer + i * kSectorBytes;
            if (!watch_->Lost()) {
                if (driveRead_(drive_.get(), sector, begin + static_cast<lsn_t>(i), 1) > 0)
                    continue;
                watch_->AfterFailure();
            }
            std::memset(sector, 0, kSectorBytes);
            filled_.insert(static_cast<int32_t>(begin + i));
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
};

}  // namespace

std::unique_ptr<SectorReader> MakePlainReader(CdioPtr cdio)
{
    return std::make_unique<PlainReader>(std::move(cdio));
}

std::unique_ptr<SectorReader> MakeParanoiaReader(CdioPtr cdio, bool simulateJitter)
{
    auto reader = std::make_unique<ParanoiaReader>();
    reader->cdio_ = std::move(cdio);
    reader->watch_ = std::make_unique<DriveWatch>(reader->cdio_.get());
    char* messages = nullptr;
    reader->drive_.reset(cdio_cddap_identify_cdio(reader->cdio_.get(), CDDA_MESSAGE_LOGIT, &messages));
    cdio_cddap_free_messages(messages);
    if (!reader->drive_)
        return nullptr;
    cdio_cddap_verbose_set(reader->drive_.get(), CDDA_MESSAGE_FORGETIT, CDDA_MESSAGE_FORGETIT);
    if (cdio_cddap_open(reader->drive_.get()) != 0)
        return nullptr;
    // Paranoia guesses the byte order from the audio and takes noise for
    // big-endian; CD audio reaches us little-endian from images and drives.
    reader->drive_->bigendianp = 0;
    if (simulateJitter)
        reader->drive_->i_test_flags = 1;
    reader->paranoia_.reset(cdio_paranoia_init(reader->drive_.get()));
    if (!reader->paranoia_)
        return nullptr;
    cdio_paranoia_modeset(reader->paranoia_.get(), PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
    cdio_paranoia_cachemodel_size(reader->paranoia_.get(), kCacheModelSectors);
    reader->TakeOverReads();
    return reader;
}

}  // namespace cdrip
