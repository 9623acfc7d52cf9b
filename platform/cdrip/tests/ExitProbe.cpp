// A process of its own for what a test cannot do inside its own process:
// exit while a read is stuck, or run the library over the drive emulator
// (which must be preloaded).  Usage:
//
//   cdrip_exit_probe exit DRIVE START END close|keep
//       Opens START..END, asks for data for 0.3 s (every answer must be 0
//       with 0 bytes, each within 0.5 s), closes the extraction or leaves it
//       open, and returns from main.
//   cdrip_exit_probe stall DRIVE START END SECONDS
//       Opens START..END, asks for data for SECONDS, closes; prints the times.
//   cdrip_exit_probe abandon DRIVE START END FAULTFILE OUT
//       Opens START..END, asks for data for 0.5 s, closes, empties FAULTFILE
//       (the drive becomes fast), reads the table of contents again, then
//       reads START..END whole into OUT; prints the times and the results.
//
// Times are printed as "name=milliseconds" lines on stdout.  Exit status 0
// when the calls answered (the test judges the numbers), 2 on a wrong answer,
// 3 on bad arguments.
#include <ripper/CDRip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long Ms(Clock::duration d)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

struct Polled {
    long longestCallMs = 0;
    int results = 0;  // other than "nothing yet"
    int32_t last = CDRIP_OK;
};

// Asks for data for `seconds`; stops early at result 4.
Polled Poll(std::vector<uint8_t>& buffer, double seconds, std::vector<uint8_t>* pcm = nullptr)
{
    Polled polled;
    const auto begin = Clock::now();
    while (std::chrono::duration<double>(Clock::now() - begin).count() < seconds) {
        int32_t delivered = 0;
        const auto call = Clock::now();
        const int32_t result = CR_RipChunk(buffer.data(), &delivered);
        polled.longestCallMs = std::max(polled.longestCallMs, Ms(Clock::now() - call));
        if (result == CDRIP_OK && delivered == 0)
            continue;
        ++polled.results;
        polled.last = result;
        if (pcm != nullptr && result != CDRIP_ERROR)
            pcm->insert(pcm->end(), buffer.begin(), buffer.begin() + delivered);
        if (result == CDRIP_RIPPING_DONE)
            break;
    }
    return polled;
}

int Exit(int32_t start, int32_t end, bool close)
{
    int32_t readSize = 0;
    if (CR_OpenRipper(&readSize, start, end) == CDRIP_ERROR)
        return 2;
    std::vector<uint8_t> buffer(static_cast<size_t>(readSize));
    const Polled polled = Poll(buffer, 0.3);
    if (polled.results != 0 || polled.longestCallMs > 500) {
        std::fprintf(stderr, "exit probe: %d results, longest call %ld ms\n", polled.results,
                     polled.longestCallMs);
        return 2;
    }
    if (close && CR_CloseRipper() == CDRIP_ERROR)
        return 2;
    return 0;
}

int Stall(int32_t start, int32_t end, double seconds)
{
    int32_t readSize = 0;
    const auto open = Clock::now();
    if (CR_OpenRipper(&readSize, start, end) == CDRIP_ERROR)
        return 2;
    std::printf("open=%ld\n", Ms(Clock::now() - open));
    std::vector<uint8_t> buffer(static_cast<size_t>(readSize));
    const Polled polled = Poll(buffer, seconds);
    std::printf("longest_call=%ld\nresults=%d\n", polled.longestCallMs, polled.results);
    const auto close = Clock::now();
    CR_CloseRipper();
    std::printf("close=%ld\n", Ms(Clock::now() - close));
    return 0;
}

int Abandon(int32_t start, int32_t end, const std::string& faultFile, const std::string& out)
{
    if (Stall(start, end, 0.5) != 0)
        return 2;
    std::ofstream(faultFile, std::ios::trunc).flush();
    const auto toc = Clock::now();
    const int32_t tocResult = CR_ReadToc();
    std::printf("toc=%ld\ntoc_result=%d\n", Ms(Clock::now() - toc), tocResult);

    int32_t readSize = 0;
    if (CR_OpenRipper(&readSize, start, end) == CDRIP_ERROR)
        return 2;
    std::vector<uint8_t> buffer(static_cast<size_t>(readSize));
    std::vector<uint8_t> pcm;
    const Polled polled = Poll(buffer, 120, &pcm);
    CR_CloseRipper();
    std::printf("reread_longest_call=%ld\nreread_last=%d\n", polled.longestCallMs, polled.last);
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size()));
    return file ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 5)
        return 3;
    const std::string mode = argv[1];
    const int32_t drive = std::atoi(argv[2]);
    const int32_t start = std::atoi(argv[3]);
    const int32_t end = std::atoi(argv[4]);
    if (CR_Init() == CDRIP_ERROR || CR_SetActiveCDROM(drive) == CDRIP_ERROR || CR_ReadToc() == CDRIP_ERROR)
        return 2;
    if (mode == "exit" && argc == 6)
        return Exit(start, end, std::string(argv[5]) == "close");
    if (mode == "stall" && argc == 6)
        return Stall(start, end, std::atof(argv[5]));
    if (mode == "abandon" && argc == 7)
        return Abandon(start, end, argv[5], argv[6]);
    return 3;
}
