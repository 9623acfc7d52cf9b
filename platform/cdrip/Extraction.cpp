// An extraction reads its range on a worker thread of its own, ahead of the
// caller, into a bounded queue of pieces; CR_RipChunk hands out one piece per
// call.  The caller never waits for the drive:
// - opening only checks what needs no drive (range, format, the table of
//   contents the caller's track list came from); the worker opens the disc,
//   reads and compares its table of contents, sets up paranoia (whose opening
//   reads may take seconds) and clamps the range.  When that fails, every
//   RipChunk returns 1 at once.
// - RipChunk waits for a piece at most kPatience; with none ready it returns 0
//   with 0 bytes, so the caller's loop can look after its window meanwhile.
// - closing tells the worker to stop and returns.  The worker is detached and
//   owns everything it uses (reader, CdIo handle, paranoia, buffers); it
//   stops after the read in flight, frees all of it and then lets the next
//   worker of the same drive begin (a drive runs one command at a time).
//
// Read size: kChunkSectors sectors in the output format (26 x 2352 = 61152
// bytes for 44.1 kHz stereo).  One worker read is kChunkSectors sectors;
// its converted PCM is split into pieces of at most the read size (a lower
// rate's last piece may carry what the resampler held back).
//
// Results per piece: 1 = the read failed (no data; the worker tries the
// same sectors again), 3 = data, and paranoia reported a fix-up or a skip in
// them, 4 = data, the last of the range; 0 = data (or, with 0 bytes, nothing
// ready yet).  The two jitter numbers of a result 3 are the first and the
// last sector of that read in which paranoia (or the fault plan) reported a
// fix-up or skip; a read that holds made-up silence names exactly the
// silenced sectors.  Paranoia verifies ahead of the sector it returns, so a
// report about a later sector waits for the read that delivers that sector;
// a report about a sector before the range is no part of the copy and is
// dropped.  When the last read of the range has jitter, its data go out as
// result 3 and an empty piece with result 4 follows.  The jitter count is
// the number of results 3 handed out.
//
// The range read is the audio run the start sector lies in, by the table of
// contents, up to the end sector.  On a drive, a data track's pregap (which
// the table counts to the track before) is found by asking the drive and
// left out; the sectors that an image's bin lacks are unreadable: plain
// reads of them fail, paranoia's are silence and reported.
#include "Extraction.h"

#include "CdSectors.h"
#include "DriveClaim.h"
#include "Faults.h"
#include "PcmConverter.h"
#include "SectorReader.h"

#include <cdio/logging.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace cdrip {
namespace {

constexpr int32_t kChunkSectors = 26;
constexpr int32_t kSectorBytes = util::kCdSectorBytes;
constexpr int32_t kFramesPerSector = util::kCdFramesPerSector;
// The queue holds a whole burst of paranoia's: after one long read (its own
// verification reads and those that move the drive's cache along) it hands
// out up to about its cache model's worth of sectors (400) at once; on a
// noise track at 40x a burst was up to 15 of our reads, 7.7 on average.  A
// queue shorter than a burst stops the worker, and with it the drive, until
// the caller has encoded the surplus, so the encoding is no longer hidden
// behind the drive (6 pieces: 2 of lame's 3.1 s on a 5-minute track).  18
// pieces, 470 sectors, are at most 1.1 MB, taken only while the caller lags.
constexpr size_t kQueuePieces = 18;
constexpr auto kPatience = std::chrono::milliseconds(40);

constexpr int32_t kResultOk = 0;
constexpr int32_t kResultError = 1;
constexpr int32_t kResultJitter = 3;
constexpr int32_t kResultDone = 4;

struct Piece {
    int32_t result = kResultOk;
    std::vector<uint8_t> data;
    JitterSpan jitter;
    int32_t sectorsDone = 0;   // of the range, once this piece is handed out
    int32_t rangeSectors = 0;  // the range as the worker reads it (after clamping)
};

// What the caller and the worker share; the last of them frees it.
struct Channel {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Piece> queue;
    std::atomic<bool> stop{false};  // the caller closed the extraction
    bool failed = false;            // the worker will deliver nothing more
};

// Whether a data track starts at the sector, its pregap unknown.
bool DataTrackAt(const DiscToc& toc, int32_t lsn)
{
    const int index = TrackIndexOf(toc, lsn);
    if (index < 0)
        return false;
    const TocTrack& track = toc.tracks[static_cast<size_t>(index)];
    return !track.audio && track.start == lsn && track.pregapStart < 0;
}

// The range [start, end] of the table of contents that holds audio, after
// the clamp to the audio run the start sector is in; false when there is
// none.
bool AudioRange(const DiscToc& toc, int32_t start, int32_t& end)
{
    const int index = TrackIndexOf(toc, start);
    if (index < 0 || !toc.tracks[static_cast<size_t>(index)].audio)
        return false;
    end = std::min(end, LastAudioSector(toc, index));
    return start <= end;
}

// Runs on its own detached thread; owns everything it reads with.
class Worker {
public:
    Worker(const ExtractionRequest& request, FaultPlan faults, std::shared_ptr<Channel> channel,
           int32_t readSize)
        : request_(request),
          faults_(std::move(faults)),
          channel_(std::move(channel)),
          readSize_(readSize),
          start_(request.startSector),
          end_(request.endSector)
    {}

    void Run() noexcept
    {
        try {
            if (Open()) {
                ReadRange();
                return;
            }
        } catch (const std::exception& error) {
            cdio_log(CDIO_LOG_WARN, "cdrip: extraction stopped: %s", error.what());
        } catch (...) {
            cdio_log(CDIO_LOG_WARN, "cdrip: extraction stopped");
        }
        // Whatever is queued still goes out; then every read fails.
        {
            std::lock_guard<std::mutex> lock(channel_->mutex);
            channel_->failed = true;
        }
        channel_->changed.notify_all();
    }

private:
    bool Stopped() const { return channel_->stop; }

    bool Refuse(const char* why)
    {
        cdio_log(CDIO_LOG_INFO, "cdrip: cannot read sectors %d to %d: %s", start_, end_, why);
        return false;
    }

    // The opening work; false when the range cannot be read or the caller
    // closed the extraction meanwhile.
    bool Open()
    {
        if (!claim_.Acquire(request_.drive.path, channel_->stop))
            return false;
        if (faults_.stuckOpenMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(faults_.stuckOpenMs));
        if (Stopped())
            return false;

        CdioPtr cdio = OpenDisc(request_.drive);
        DiscToc toc;
        if (!ReadDiscToc(cdio.get(), toc))
            return Refuse("no disc");
        if (request_.expectedToc && !SameToc(*request_.expectedToc, toc))
            return Refuse("the disc was changed since its table of contents was read");
        if (!AudioRange(toc, start_, end_))
            return Refuse("no audio there");
        int32_t audioEnd = LastAudioSector(toc, TrackIndexOf(toc, start_));
        if (end_ == audioEnd && DataTrackAt(toc, audioEnd + 1)) {
            audioEnd = LastAudioBeforeData(cdio.get(), start_, audioEnd);
            end_ = audioEnd;
        }
        if (start_ > end_)
            return Refuse("the drive reads no audio there");
        if (Stopped())
            return false;

        const ReadScope scope{start_, end_, std::min(audioEnd + 1, toc.heldEnd)};
        reader_ = request_.settings.jitterCorrection
                      ? MakeParanoiaReader(std::move(cdio), scope, faults_.paranoiaJitter)
                      : MakePlainReader(std::move(cdio), scope);
        if (!reader_)
            return Refuse("paranoia cannot take the disc");
        converter_ = std::make_unique<PcmConverter>(request_.settings.outputFormat);
        return !Stopped();
    }

    // Waits for room in the queue and adds the piece; false once stopped.
    bool Push(Piece piece)
    {
        piece.rangeSectors = end_ - start_ + 1;
        {
            std::unique_lock<std::mutex> lock(channel_->mutex);
            channel_->changed.wait(
                lock, [this] { return channel_->stop || channel_->queue.size() < kQueuePieces; });
            if (channel_->stop)
                return false;
            channel_->queue.push_back(std::move(piece));
        }
        channel_->changed.notify_all();
        return true;
    }

    // The injected delays before a read; false once stopped.
    bool SlowDown()
    {
        if (faults_.stuckReadMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(faults_.stuckReadMs));
        if (faults_.slowMs <= 0)
            return !Stopped();
        std::unique_lock<std::mutex> lock(channel_->mutex);
        channel_->changed.wait_for(lock, std::chrono::milliseconds(faults_.slowMs),
                                   [this] { return channel_->stop.load(); });
        return !channel_->stop;
    }

    void ReadRange()
    {
        std::vector<uint8_t> sectors(static_cast<size_t>(kChunkSectors) * kSectorBytes);
        std::vector<uint8_t> converted;
        std::set<int32_t> reported;  // paranoia's reports not yet handed out
        int32_t position = start_;
        while (position <= end_) {
            const int32_t count = std::min(kChunkSectors, end_ - position + 1);
            const int32_t last = position + count - 1;
            if (!SlowDown())
                return;

            const bool read = !faults_.ReadFails(position, last) &&
                              reader_->Read(position, count, sectors.data(), reported, channel_->stop);
            if (Stopped())
                return;
            if (!read) {
                if (!Push(Piece{kResultError, {}, {}, 0, 0}))
                    return;
                continue;
            }
            JitterSpan jitter;
            while (!reported.empty() && *reported.begin() <= last) {
                if (*reported.begin() >= start_)
                    jitter.Add(std::max(*reported.begin(), position));
                reported.erase(reported.begin());
            }
            const auto injected = faults_.JitterIn(position, last);
            if (injected.first >= 0) {
                jitter.Add(injected.first);
                jitter.Add(injected.second);
            }

            converted.clear();
            converter_->Convert(sectors.data(), static_cast<size_t>(count) * kFramesPerSector, converted);
            const bool final = last == end_;
            if (final)
                converter_->Finish(converted);
            if (!PushConverted(converted, jitter, last - start_ + 1, final))
                return;
            position = last + 1;
        }
    }

    // Splits one read's PCM into pieces of at most the read size.
    // A read that fits is moved, not copied.  A piece cannot be both the last
    // and one with jitter: the last read's jitter goes out with its data, and
    // an empty last piece ends the range.
    bool PushConverted(std::vector<uint8_t>& pcm, const JitterSpan& jitter, int32_t sectorsDone, bool final)
    {
        if (final && !jitter.Empty() && pcm.size() <= static_cast<size_t>(readSize_)) {
            return PushConverted(pcm, jitter, sectorsDone, false) &&
                   Push(Piece{kResultDone, {}, {}, sectorsDone, 0});
        }
        const size_t total = pcm.size();
        size_t offset = 0;
        bool first = true;
        do {
            const size_t size = std::min(total - offset, static_cast<size_t>(readSize_));
            Piece piece;
            if (size == total) {
                piece.data = std::move(pcm);
                pcm.clear();
            } else {
                piece.data.assign(pcm.begin() + static_cast<std::ptrdiff_t>(offset),
                                  pcm.begin() + static_cast<std::ptrdiff_t>(offset + size));
            }
            offset += size;
            piece.sectorsDone = sectorsDone;
            const bool lastPiece = offset == total;
            if (final && lastPiece) {
                piece.result = kResultDone;
            } else if (first && !jitter.Empty()) {
                piece.result = kResultJitter;
                piece.jitter = jitter;
            }
            first = false;
            if (!Push(std::move(piece)))
                return false;
        } while (offset < total);
        return true;
    }

    const ExtractionRequest request_;
    FaultPlan faults_;
    const std::shared_ptr<Channel> channel_;
    const int32_t readSize_;
    const int32_t start_;
    int32_t end_;  // clamped by Open()

    // Declared in this order so that the reader (and with it the CdIo handle)
    // is gone before the drive is released to the next worker.
    DriveClaim claim_;
    std::unique_ptr<SectorReader> reader_;
    std::unique_ptr<PcmConverter> converter_;
};

class ThreadedExtraction final : public Extraction {
public:
    ThreadedExtraction(int32_t readSize, std::shared_ptr<Channel> channel)
        : readSize_(readSize), channel_(std::move(channel))
    {}

    ~ThreadedExtraction() override
    {
        {
            std::lock_guard<std::mutex> lock(channel_->mutex);
            channel_->stop = true;
        }
        channel_->changed.notify_all();
    }

    int32_t ReadSize() const override { return readSize_; }

    int32_t RipChunk(uint8_t* buffer, int32_t* bytesDelivered) override
    {
        *bytesDelivered = 0;
        if (finished_)
            return kResultDone;
        Piece piece;
        {
            std::unique_lock<std::mutex> lock(channel_->mutex);
            const bool ready = channel_->changed.wait_for(
                lock, kPatience, [this] { return !channel_->queue.empty() || channel_->failed; });
            if (!ready)
                return kResultOk;  // nothing yet
            if (channel_->queue.empty())
                return kResultError;
            piece = std::move(channel_->queue.front());
            channel_->queue.pop_front();
        }
        channel_->changed.notify_all();

        std::copy(piece.data.begin(), piece.data.end(), buffer);
        *bytesDelivered = static_cast<int32_t>(piece.data.size());
        if (piece.result != kResultError) {
            sectorsDone_ = piece.sectorsDone;
            rangeSectors_ = piece.rangeSectors;
        }
        if (piece.result == kResultJitter) {
            ++jitterErrors_;
            lastJitter_ = piece.jitter;
        }
        if (piece.result == kResultDone)
            finished_ = true;
        return piece.result;
    }

    int32_t PercentCompleted() const override
    {
        if (rangeSectors_ <= 0)
            return 0;
        return static_cast<int32_t>(int64_t{sectorsDone_} * 100 / rangeSectors_);
    }

    int32_t JitterErrors() const override { return jitterErrors_; }

    void LastJitterPosition(int32_t* first, int32_t* last) const override
    {
        *first = lastJitter_.first < 0 ? 0 : lastJitter_.first;
        *last = lastJitter_.last < 0 ? 0 : lastJitter_.last;
    }

private:
    const int32_t readSize_;
    const std::shared_ptr<Channel> channel_;
    int32_t sectorsDone_ = 0;
    int32_t rangeSectors_ = 0;
    int32_t jitterErrors_ = 0;
    JitterSpan lastJitter_;
    bool finished_ = false;
};

}  // namespace

std::unique_ptr<Extraction> Extraction::Open(const ExtractionRequest& request)
{
    const int32_t format = request.settings.outputFormat;
    if (request.startSector > request.endSector || format < 0 || format > 5)
        return nullptr;
    int32_t end = request.endSector;
    if (request.expectedToc && !AudioRange(*request.expectedToc, request.startSector, end)) {
        cdio_log(CDIO_LOG_INFO, "cdrip: sectors %d to %d hold no audio", request.startSector,
                 request.endSector);
        return nullptr;
    }
    FaultPlan faults = LoadFaultPlan(request.drive.path, request.drive.isImage);
    if (faults.failOpen)
        return nullptr;

    const int32_t readSize = kChunkSectors * OutputFormatInfo(format).bytesPerSector;
    try {
        auto channel = std::make_shared<Channel>();
        auto worker = std::make_unique<Worker>(request, std::move(faults), channel, readSize);
        // The handle exists before the worker starts: should the start fail,
        // nothing runs; should anything fail later, the handle stops it.
        auto extraction = std::make_unique<ThreadedExtraction>(readSize, std::move(channel));
        std::thread([worker = std::move(worker)] { worker->Run(); }).detach();
        return extraction;
    } catch (const std::exception& error) {
        cdio_log(CDIO_LOG_WARN, "cdrip: cannot open the extraction: %s", error.what());
        return nullptr;
    }
}

}  // namespace cdrip
