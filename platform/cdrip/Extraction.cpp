// An extraction reads its range on a worker thread, ahead of the caller, into
// a bounded queue of pieces; CR_RipChunk hands out one piece per call.
//
// Read size: kChunkSectors sectors in the output format (26 x 2352 = 61152
// bytes for 44.1 kHz stereo).  One worker read is kChunkSectors sectors;
// its converted PCM is split into pieces of at most the read size (a lower
// rate's last piece may carry what the resampler held back).
//
// Results per piece: 1 = the read failed (no data; the worker tries the
// same sectors again), 3 = data, and paranoia reported a fix-up or a skip in
// them, 4 = data, the last of the range; 0 = data.  The two jitter numbers
// of a result 3 are the first and the last sector of that read in which
// paranoia (or the fault plan) reported a fix-up or skip.  Paranoia verifies
// ahead of the sector it returns, so a report about a later sector waits for
// the read that delivers that sector.  The jitter count is the number of
// results 3 handed out.
#include "Extraction.h"

#include "DiscAccess.h"
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
#include <thread>
#include <vector>

namespace cdrip {
namespace {

constexpr int32_t kChunkSectors = 26;
constexpr int32_t kSectorBytes = 2352;
constexpr int32_t kFramesPerSector = 588;
constexpr size_t kQueuePieces = 12;  // about 4 s of audio read ahead

constexpr int32_t kResultOk = 0;
constexpr int32_t kResultError = 1;
constexpr int32_t kResultJitter = 3;
constexpr int32_t kResultDone = 4;

struct Piece {
    int32_t result = kResultOk;
    std::vector<uint8_t> data;
    JitterSpan jitter;
    int32_t sectorsDone = 0;  // of the range, once this piece is handed out
};

class ThreadedExtraction final : public Extraction {
public:
    ThreadedExtraction(std::unique_ptr<SectorReader> reader, FaultPlan faults, int32_t format,
                       int32_t start, int32_t end)
        : reader_(std::move(reader)),
          faults_(std::move(faults)),
          converter_(format),
          readSize_(kChunkSectors * OutputFormatInfo(format).bytesPerSector),
          start_(start),
          end_(end)
    {
        worker_ = std::thread([this] { Run(); });
    }

    ~ThreadedExtraction() override
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        worker_.join();
    }

    int32_t ReadSize() const override { return readSize_; }

    int32_t RipChunk(uint8_t* buffer, int32_t* bytesDelivered) override
    {
        *bytesDelivered = 0;
        if (finished_)
            return kResultDone;
        Piece piece;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return !queue_.empty(); });
            piece = std::move(queue_.front());
            queue_.pop_front();
        }
        changed_.notify_all();

        std::copy(piece.data.begin(), piece.data.end(), buffer);
        *bytesDelivered = static_cast<int32_t>(piece.data.size());
        if (piece.result != kResultError)
            sectorsDone_ = piece.sectorsDone;
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
        const int64_t total = int64_t{end_} - start_ + 1;
        return static_cast<int32_t>(int64_t{sectorsDone_} * 100 / total);
    }

    int32_t JitterErrors() const override { return jitterErrors_; }

    void LastJitterPosition(int32_t* first, int32_t* last) const override
    {
        *first = lastJitter_.first < 0 ? 0 : lastJitter_.first;
        *last = lastJitter_.last < 0 ? 0 : lastJitter_.last;
    }

private:
    // Waits for room in the queue and adds the piece; false once stopped.
    bool Push(Piece piece)
    {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return stop_ || queue_.size() < kQueuePieces; });
            if (stop_)
                return false;
            queue_.push_back(std::move(piece));
        }
        changed_.notify_all();
        return true;
    }

    // Sleeps for the injected delay; false once stopped.
    bool SlowDown()
    {
        if (faults_.slowMs <= 0)
            return !stop_;
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(faults_.slowMs), [this] { return stop_.load(); });
        return !stop_;
    }

    void Run()
    {
        try {
            ReadRange();
        } catch (const std::exception& error) {
            // Conversion failed: nothing more can be delivered, so every
            // further read of this extraction fails.
            cdio_log(CDIO_LOG_WARN, "cdrip: extraction stopped: %s", error.what());
            while (Push(Piece{kResultError, {}, {}, 0})) {
            }
        }
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
                              reader_->Read(position, count, sectors.data(), reported, stop_);
            if (stop_)
                return;
            if (!read) {
                if (!Push(Piece{kResultError, {}, {}, 0}))
                    return;
                continue;
            }
            JitterSpan jitter;
            while (!reported.empty() && *reported.begin() <= last) {
                jitter.Add(std::max(*reported.begin(), position));
                reported.erase(reported.begin());
            }
            const auto injected = faults_.JitterIn(position, last);
            if (injected.first >= 0) {
                jitter.Add(injected.first);
                jitter.Add(injected.second);
            }

            converted.clear();
            converter_.Convert(sectors.data(), static_cast<size_t>(count) * kFramesPerSector,
                               converted);
            const bool final = last == end_;
            if (final)
                converter_.Finish(converted);
            if (!PushConverted(converted, jitter, last - start_ + 1, final))
                return;
            position = last + 1;
        }
    }

    // Splits one read's PCM into pieces of at most the read size.
    // A read that fits is moved, not copied.
    bool PushConverted(std::vector<uint8_t>& pcm, const JitterSpan& jitter,
                       int32_t sectorsDone, bool final)
    {
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

    std::unique_ptr<SectorReader> reader_;
    FaultPlan faults_;          // worker only
    PcmConverter converter_;    // worker only
    const int32_t readSize_;
    const int32_t start_;
    const int32_t end_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Piece> queue_;
    std::atomic<bool> stop_{false};

    // Caller's side.
    int32_t sectorsDone_ = 0;
    int32_t jitterErrors_ = 0;
    JitterSpan lastJitter_;
    bool finished_ = false;

    std::thread worker_;  // last: starts after everything above exists
};

}  // namespace

std::unique_ptr<Extraction> Extraction::Open(const cddrives::Drive& drive,
                                             const ExtractionSettings& settings,
                                             int32_t startSector, int32_t endSector)
{
    FaultPlan faults = LoadFaultPlan(drive.path, drive.isImage);
    if (faults.failOpen || startSector > endSector || settings.outputFormat < 0 ||
        settings.outputFormat > 5)
        return nullptr;

    CdioPtr cdio = OpenDisc(drive);
    DiscToc toc;
    if (!ReadDiscToc(cdio.get(), toc))
        return nullptr;
    const int index = TrackIndexOf(toc, startSector);
    if (index < 0 || !toc.tracks[static_cast<size_t>(index)].audio) {
        cdio_log(CDIO_LOG_INFO, "cdrip: sector %d is not on an audio track", startSector);
        return nullptr;
    }
    int32_t end = std::min(endSector, LastAudioSector(toc, index));

    std::unique_ptr<SectorReader> reader =
        settings.jitterCorrection ? MakeParanoiaReader(std::move(cdio), faults.paranoiaJitter)
                                  : MakePlainReader(std::move(cdio));
    if (!reader)
        return nullptr;
    if (reader->LastReadableSector() >= 0)
        end = std::min(end, reader->LastReadableSector());
    if (startSector > end)
        return nullptr;

    try {
        return std::make_unique<ThreadedExtraction>(std::move(reader), std::move(faults),
                                                    settings.outputFormat, startSector, end);
    } catch (const std::exception& error) {
        cdio_log(CDIO_LOG_WARN, "cdrip: cannot open the extraction: %s", error.what());
        return nullptr;
    }
}

}  // namespace cdrip
