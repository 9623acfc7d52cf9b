#include "Extraction.h"

namespace cdrip {

std::unique_ptr<Extraction> Extraction::Open(const cddrives::Drive&, const ExtractionSettings&,
                                             int32_t, int32_t)
{
    return nullptr;
}

}  // namespace cdrip
