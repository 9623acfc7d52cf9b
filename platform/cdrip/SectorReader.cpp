#include "SectorReader.h"

#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <cstdio>
#include <cstring>

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

class PlainReader final : public SectorReader {
public:
    explicit PlainReader(CdioPtr cdio) : cdio_(std::move(cdio)) {}

    bool Read(int32_t lsn, int32_t count, uint8_t* out, std::set<int32_t>&,
              const std::atomic<bool>& stop) override
    {
        if (stop)
            return false;
        return cdio_read_audio_sectors(cdio_.get(), out, lsn, static_cast<uint32_t>(count)) ==
               DRIVER_OP_SUCCESS;
    }

private:
    CdioPtr cdio_;
};

// Paranoia's callback carries no user pointer; the reading thread points
// this at the span of the read in progress.
thread_local std::set<int32_t>* t_reported = nullptr;

// Paranoia may issue many drive reads for one sector.  Once the extraction is
// closed, the rest of them fail at once instead of reaching the drive, so an
// abandoned worker ends after the read in flight.
using ReadAudio = long (*)(cdrom_drive_t*, void*, lsn_t, long);
thread_local const std::atomic<bool>* t_stop = nullptr;
thread_local ReadAudio t_readAudio = nullptr;

long StoppableReadAudio(cdrom_drive_t* drive, void* buffer, lsn_t begin, long sectors)
{
    if (t_readAudio == nullptr || (t_stop != nullptr && *t_stop))
        return -1;
    return t_readAudio(drive, buffer, begin, sectors);
}

void ParanoiaCallback(long inpos, paranoia_cb_mode_t event)
{
    if (t_reported == nullptr)
        return;
    switch (event) {
    case PARANOIA_CB_FIXUP_EDGE:
    case PARANOIA_CB_FIXUP_ATOM:
    case PARANOIA_CB_FIXUP_DROPPED:
    case PARANOIA_CB_FIXUP_DUPED:
    case PARANOIA_CB_SCRATCH:
    case PARANOIA_CB_REPAIR:
    case PARANOIA_CB_SKIP:
    case PARANOIA_CB_DRIFT:
    case PARANOIA_CB_READERR:
        if (inpos >= 0)
            t_reported->insert(static_cast<int32_t>(inpos / kWordsPerSector));
        break;
    default:
        break;
    }
}

struct DriveCloser {
    void operator()(cdrom_drive_t* drive) const { cdio_cddap_close_no_free_cdio(drive); }
};
struct ParanoiaFree {
    void operator()(cdrom_paranoia_t* paranoia) const { cdio_paranoia_free(paranoia); }
};

class ParanoiaReader final : public SectorReader {
public:
    // Members are declared so that paranoia goes first, then the drive, then
    // the CdIo handle the drive was made from.
    CdioPtr cdio_;
    std::unique_ptr<cdrom_drive_t, DriveCloser> drive_;
    std::unique_ptr<cdrom_paranoia_t, ParanoiaFree> paranoia_;
    int32_t next_ = -1;  // the sector paranoia reads next

    bool Read(int32_t lsn, int32_t count, uint8_t* out, std::set<int32_t>& reported,
              const std::atomic<bool>& stop) override
    {
        t_reported = &reported;
        t_stop = &stop;
        t_readAudio = drive_->read_audio;
        drive_->read_audio = StoppableReadAudio;
        if (lsn != next_) {
            cdio_paranoia_seek(paranoia_.get(), lsn, SEEK_SET);
            next_ = lsn;
        }
        bool ok = true;
        for (int32_t i = 0; i < count && ok; ++i) {
            if (stop) {
                ok = false;
                break;
            }
            const int16_t* sector =
                cdio_paranoia_read_limited(paranoia_.get(), ParanoiaCallback, kParanoiaRetries);
            if (sector == nullptr) {
                ok = false;
                break;
            }
            std::memcpy(out + static_cast<size_t>(i) * kSectorBytes, sector, kSectorBytes);
            ++next_;
        }
        drive_->read_audio = t_readAudio;
        t_reported = nullptr;
        t_stop = nullptr;
        t_readAudio = nullptr;
        if (!ok)
            next_ = -1;  // seek again before the retry
        return ok;
    }

    int32_t LastReadableSector() const override
    {
        const lsn_t last = cdio_cddap_disc_lastsector(drive_.get());
        return last < 0 ? -1 : last;
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
    char* messages = nullptr;
    reader->drive_.reset(
        cdio_cddap_identify_cdio(reader->cdio_.get(), CDDA_MESSAGE_LOGIT, &messages));
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
    return reader;
}

}  // namespace cdrip
