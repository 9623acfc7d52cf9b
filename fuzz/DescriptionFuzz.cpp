// The disc-image maker's description parser: any text is either refused with
// std::invalid_argument or gives a disc that is valid and formats back to
// itself.
#include "DiscImage.h"
#include "FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    discimage::Disc disc;
    try {
        disc = discimage::ParseDescription(text);
    } catch (const std::invalid_argument&) {
        return 0;
    }
    FUZZ_CHECK(!disc.tracks.empty());
    try {
        discimage::Validate(disc);
    } catch (const std::invalid_argument&) {
        FUZZ_CHECK(!"a parsed disc must be valid");
    }
    FUZZ_CHECK(discimage::ParseDescription(discimage::FormatDescription(disc)) == disc);
    FUZZ_CHECK(discimage::LeadOut(disc) <= discimage::kMaxDiscSectors);
    for (std::size_t i = 0; i < disc.tracks.size(); ++i)
        FUZZ_CHECK(discimage::TrackEnd(disc, i) >= discimage::TrackStart(disc, i));
    return 0;
}
