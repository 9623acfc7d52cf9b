// One open extraction of an inclusive sector range (internal).
#ifndef CDRIP_EXTRACTION_H
#define CDRIP_EXTRACTION_H

#include <cddrives/CdDrives.h>

#include "DiscAccess.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace cdrip {

struct ExtractionSettings {
    bool jitterCorrection = true;
    int32_t outputFormat = 0;  // TOutputFormat ordinal
};

struct ExtractionRequest {
    cddrives::Drive drive;
    ExtractionSettings settings;
    int32_t startSector = 0;
    int32_t endSector = 0;
    // The table of contents the caller's track list was built from; when
    // given, a disc whose table differs is refused (it was changed since).
    std::optional<DiscToc> expectedToc;
};

class Extraction {
public:
    // Null (and the reason in the debug log) when the request fails the
    // checks that need no drive: the range, the format, an injected failure.
    // Everything that needs the drive runs on the extraction's own worker,
    // so this never waits for it; when that work fails, every RipChunk
    // returns 1.
    static std::unique_ptr<Extraction> Open(const ExtractionRequest& request);

    // Never waits for the drive: a read in flight is left to the worker,
    // which ends after it and frees what it holds.
    virtual ~Extraction() = default;

    // Known without the drive: it depends on the output format only.
    virtual int32_t ReadSize() const = 0;
    // Waits for data at most a few hundredths of a second; with nothing ready
    // it returns 0 and delivers 0 bytes.
    virtual int32_t RipChunk(uint8_t* buffer, int32_t* bytesDelivered) = 0;
    // 0 until the worker knows the range it reads.
    virtual int32_t PercentCompleted() const = 0;
    virtual int32_t JitterErrors() const = 0;
    virtual void LastJitterPosition(int32_t* first, int32_t* last) const = 0;
};

}  // namespace cdrip

#endif
