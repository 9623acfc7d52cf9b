// The table of contents as the extraction library hands it over, turned into
// TCDRIP's track list.  The library is a table of functions answering from
// the fuzzer's bytes: results of each call, the parameter record, the entry
// count and the entries themselves.
#include "CDRIP.h"
#include "FuzzCheck.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class TBytes {
public:
    TBytes(const uint8_t* data, std::size_t size) : FData(data), FSize(size) {}
    uint8_t Byte() { return FPos < FSize ? FData[FPos++] : 0; }
    int32_t Int32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<uint32_t>(Byte()) << (8 * i);
        int32_t s;
        std::memcpy(&s, &v, sizeof s);
        return s;
    }
    void Fill(void* out, std::size_t n)
    {
        auto* bytes = static_cast<uint8_t*>(out);
        for (std::size_t i = 0; i < n; ++i)
            bytes[i] = Byte();
    }
    bool Empty() const { return FPos >= FSize; }

private:
    const uint8_t* FData;
    std::size_t FSize;
    std::size_t FPos = 0;
};

// What the scripted library answers.
struct TScript {
    int32_t InitResult = 0;
    int32_t ParamsResult = 0;
    int32_t TocResult = 0;
    int32_t Count = 0;
    TCDRomParameters Params{};
    std::vector<TTocEntry> Entries;
    std::vector<int32_t> LastSectors;  // empty: the library cannot tell
};
TScript gScript;

int32_t Result(uint8_t b) { return b % 3 == 0 ? CDRIP_ERROR : CDRIP_OK; }

const cdrip::TCdRipApi kApi = {
    [] { return int32_t{111}; },
    [] { return gScript.InitResult; },
    [] { return int32_t{0}; },
    [](int32_t) { return int32_t{CDRIP_OK}; },
    [](TCDRomParameters* p) {
        *p = gScript.Params;
        return gScript.ParamsResult;
    },
    [](TCDRomParameters*) { return int32_t{CDRIP_OK}; },
    [] { return gScript.TocResult; },
    [] { return gScript.Count; },
    [](int32_t index) {
        if (index < 0 || static_cast<std::size_t>(index) >= gScript.Entries.size())
            throw std::out_of_range("no such entry");
        return gScript.Entries[static_cast<std::size_t>(index)];
    },
    [](int32_t*, int32_t, int32_t) { return int32_t{CDRIP_ERROR}; },
    [](uint8_t*, int32_t*) { return int32_t{CDRIP_ERROR}; },
    [] { return int32_t{0}; },
    [] { return int32_t{0}; },
    [](int32_t* first, int32_t* last) { *first = *last = 0; },
    [] { return int32_t{CDRIP_OK}; },
    [](int32_t) { return int32_t{CDRIP_OK}; },
    [](int32_t* status) {
        *status = CDRIP_DISC_UNKNOWN;
        return int32_t{CDRIP_OK};
    },
    [](int32_t index, int32_t* last) {
        if (index < 0 || static_cast<std::size_t>(index) >= gScript.LastSectors.size())
            return int32_t{CDRIP_ERROR};
        *last = gScript.LastSectors[static_cast<std::size_t>(index)];
        return int32_t{CDRIP_OK};
    },
    nullptr,
};

void ReadScript(TBytes& in)
{
    gScript.InitResult = Result(in.Byte());
    gScript.ParamsResult = Result(in.Byte());
    gScript.TocResult = Result(in.Byte());
    // A count from -128 to 127 and beyond the entries: a library that
    // miscounts must not take the component with it.
    gScript.Count = static_cast<int8_t>(in.Byte());
    in.Fill(&gScript.Params, sizeof gScript.Params);
    gScript.Entries.clear();
    const uint8_t entries = in.Byte();
    for (uint8_t i = 0; i < entries && !in.Empty(); ++i) {
        TTocEntry e{};
        e.StartSector = in.Int32();
        e.Flags = in.Byte();
        e.TrackNumber = in.Byte();
        gScript.Entries.push_back(e);
    }
    gScript.LastSectors.clear();
    if (Result(in.Byte()) != CDRIP_ERROR) {
        for (std::size_t i = 0; i < gScript.Entries.size(); ++i)
            gScript.LastSectors.push_back(in.Int32());
    }
}

// The tracks appended from index `from` on are the script's entries.
void CheckTracks(const TCDRIP& ripper, int32_t from)
{
    const TTrackList& tracks = ripper.Tracks();
    FUZZ_CHECK(tracks.Count() - from == gScript.Count);
    for (int32_t i = 0; i < gScript.Count; ++i) {
        const TTrack* t = tracks.Object(from + i);
        const TTocEntry& a = gScript.Entries[static_cast<std::size_t>(i)];
        const TTocEntry& b = gScript.Entries[static_cast<std::size_t>(i) + 1];
        FUZZ_CHECK(t->TrackNumber == i + 1);
        FUZZ_CHECK(t->StartSector == a.StartSector);
        // One before the next entry's start, as 32-bit arithmetic wraps, or
        // the library's last sector of the track when that is earlier.
        const auto beforeNext = static_cast<int32_t>(static_cast<uint32_t>(b.StartSector) - 1u);
        const bool lastKnown = static_cast<std::size_t>(i) < gScript.LastSectors.size();
        FUZZ_CHECK(t->EndSector ==
                   (lastKnown ? std::min(beforeNext, gScript.LastSectors[static_cast<std::size_t>(i)])
                              : beforeNext));
        FUZZ_CHECK(t->Kind == (a.Flags == 0x10 ? "Audio" : "Data"));
        FUZZ_CHECK(tracks.Name(from + i) == "Track" + PadTrackNumber(static_cast<uint16_t>(i + 1)));
    }
}

bool CountFitsEntries()
{
    return gScript.Count <= 0 || static_cast<std::size_t>(gScript.Count) < gScript.Entries.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    TBytes in(data, size);
    ReadScript(in);
    std::unique_ptr<TCDRIP> ripper;
    try {
        ripper = std::make_unique<TCDRIP>(kApi);
    } catch (const ECDRIPError& e) {
        FUZZ_CHECK(std::string(e.what()) == "Initialization failure");
        FUZZ_CHECK(!CountFitsEntries());
        return 0;
    }
    if (gScript.InitResult != CDRIP_ERROR && gScript.TocResult != CDRIP_ERROR && gScript.Count >= 0)
        CheckTracks(*ripper, 0);

    // The dialog's refresh: the list cleared, the drive read again, with a
    // second script from the rest of the bytes.
    while (!in.Empty()) {
        ReadScript(in);
        ripper->Tracks().Clear();
        try {
            ripper->RereadDrive(0);
        } catch (const ECDRIPError& e) {
            FUZZ_CHECK(std::string(e.what()) == "Initialization failure");
            FUZZ_CHECK(!CountFitsEntries());
            continue;
        }
        if (gScript.TocResult != CDRIP_ERROR && gScript.Count >= 0)
            CheckTracks(*ripper, 0);
    }
    return 0;
}
