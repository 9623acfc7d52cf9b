// Sector contents; internal to the image maker.
#pragma once

#include "DiscImage.h"

namespace discimage::detail {

// count audio sectors of t from sector `first` (relative to INDEX 01; a
// negative sector lies in the pregap and is silent).
void RenderAudio(const Track& t, int32_t first, int32_t count, uint8_t* out);

// count MODE1/2352 sectors of t; lsn is the absolute address of the first
// (for the header), first is relative to INDEX 01 (pregap sectors carry zeros).
void RenderData(const Track& t, int32_t lsn, int32_t first, int32_t count, uint8_t* out);

// Fills the EDC and ECC fields of a MODE1 sector whose sync, header and payload are set.
void SealMode1(uint8_t* sector);

}  // namespace discimage::detail
