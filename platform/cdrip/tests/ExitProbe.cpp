// A process that leaves a read of the extraction library stuck and exits.
//   cdrip_exit_probe DRIVE START END close|keep
// Opens START..END on DRIVE (CDRIP_IMAGES and CDRIP_FAULTS come from the
// environment), asks for data for a moment, then closes the extraction or
// leaves it open, and returns from main.  Exit status 0 when every call
// answered as a stuck drive should (0 with 0 bytes, each call quick), 2 on a
// wrong answer, 3 on bad arguments.
#include <ripper/CDRip.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 5)
        return 3;
    const int32_t drive = std::atoi(argv[1]);
    const int32_t start = std::atoi(argv[2]);
    const int32_t end = std::atoi(argv[3]);
    const bool close = std::string(argv[4]) == "close";
    using Clock = std::chrono::steady_clock;
    const auto quick = std::chrono::milliseconds(500);

    if (CR_Init() == CDRIP_ERROR || CR_SetActiveCDROM(drive) == CDRIP_ERROR ||
        CR_ReadToc() == CDRIP_ERROR)
        return 2;
    int32_t readSize = 0;
    if (CR_OpenRipper(&readSize, start, end) == CDRIP_ERROR)
        return 2;
    std::vector<uint8_t> buffer(static_cast<size_t>(readSize));
    const auto begin = Clock::now();
    while (Clock::now() - begin < std::chrono::milliseconds(300)) {
        int32_t delivered = -1;
        const auto call = Clock::now();
        const int32_t result = CR_RipChunk(buffer.data(), &delivered);
        if (result != CDRIP_OK || delivered != 0 || Clock::now() - call > quick) {
            std::fprintf(stderr, "exit probe: result %d, %d bytes\n", result, delivered);
            return 2;
        }
    }
    if (close && CR_CloseRipper() == CDRIP_ERROR)
        return 2;
    return 0;
}
