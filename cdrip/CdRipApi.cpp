#include "CDRIP.h"

namespace cdrip {

const TCdRipApi& LinkedCdRipApi()
{
    static const TCdRipApi api = {
        CR_GetCDRipVersion,
        CR_Init,
        CR_GetActiveCDROM,
        CR_SetActiveCDROM,
        CR_GetCDROMParameters,
        CR_SetCDROMParameters,
        CR_ReadToc,
        CR_GetNumTocEntries,
        CR_GetTocEntry,
        CR_OpenRipper,
        CR_RipChunk,
        CR_GetPercentCompleted,
        CR_GetNumberOfJitterErrors,
        CR_GetLastJitterErrorPosition,
        CR_CloseRipper,
        CR_SetDriveReading,
        CR_GetDiscStatus,
        CR_GetTrackLastSector,
        CR_GetCDText,
    };
    return api;
}

}  // namespace cdrip
