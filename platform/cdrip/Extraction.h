// One open extraction of an inclusive sector range (internal).
#ifndef CDRIP_EXTRACTION_H
#define CDRIP_EXTRACTION_H

#include "CdDrives.h"

#include <cstdint>
#include <memory>

namespace cdrip {

struct ExtractionSettings {
    bool jitterCorrection = true;
    int32_t outputFormat = 0;  // TOutputFormat ordinal
};

class Extraction {
public:
    // Null (and the reason in the debug log) when the range cannot be read.
    static std::unique_ptr<Extraction> Open(const cddrives::Drive& drive,
                                            const ExtractionSettings& settings,
                                            int32_t startSector, int32_t endSector);
    virtual ~Extraction() = default;

    virtual int32_t ReadSize() const = 0;
    virtual int32_t RipChunk(uint8_t* buffer, int32_t* bytesDelivered) = 0;
    virtual int32_t PercentCompleted() const = 0;
    virtual int32_t JitterErrors() const = 0;
    virtual void LastJitterPosition(int32_t* first, int32_t* last) const = 0;
};

}  // namespace cdrip

#endif
