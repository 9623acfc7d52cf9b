#include "Sectors.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace discimage {

void CounterFrame(uint32_t k, uint16_t& left, uint16_t& right)
{
    left = static_cast<uint16_t>(k);
    right = static_cast<uint16_t>(~(k ^ (k >> 16)));
}

std::optional<uint32_t> CounterRunStart(const uint8_t* pcm, size_t bytes)
{
    if (bytes == 0 || bytes % 4 != 0)
        return std::nullopt;
    auto word = [pcm](size_t at) { return static_cast<uint16_t>(pcm[at] | pcm[at + 1] << 8); };
    // The right channel carries k's high half: k = left + 65536 * (high), where
    // ~right = left ^ high.
    const uint16_t low = word(0);
    const uint16_t high = static_cast<uint16_t>(~word(2) ^ low);
    const uint32_t k0 = uint32_t{high} << 16 | low;
    for (size_t i = 0; i < bytes / 4; ++i) {
        uint16_t left, right;
        CounterFrame(static_cast<uint32_t>(k0 + i), left, right);
        if (word(4 * i) != left || word(4 * i + 2) != right)
            return std::nullopt;
    }
    return k0;
}

namespace detail {
namespace {

constexpr double kRate = 44100.0;
constexpr double kTwoPi = 6.283185307179586;

void PutFrame(uint8_t* out, uint16_t left, uint16_t right)
{
    out[0] = static_cast<uint8_t>(left);
    out[1] = static_cast<uint8_t>(left >> 8);
    out[2] = static_cast<uint8_t>(right);
    out[3] = static_cast<uint8_t>(right >> 8);
}

uint16_t ToSample(double v)
{
    const double scaled = std::clamp(std::round(v * 32767.0), -32768.0, 32767.0);
    return static_cast<uint16_t>(static_cast<int16_t>(scaled));
}

// One period of a half-scale sine, indexed by the top 16 bits of a 32-bit phase;
// the phase of frame k is k * increment (mod 2^32), so any frame is computed
// directly and exactly.
const std::array<uint16_t, 65536>& SineTable()
{
    static const std::array<uint16_t, 65536> table = [] {
        std::array<uint16_t, 65536> t{};
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = ToSample(0.5 * std::sin(kTwoPi * static_cast<double>(i) / 65536.0));
        return t;
    }();
    return table;
}

void Sine(const Track& t, uint32_t k0, uint32_t frames, uint8_t* out)
{
    const auto& table = SineTable();
    const auto increment = static_cast<uint32_t>(std::llround(t.frequency * 4294967296.0 / kRate));
    constexpr uint32_t kThird = 0x55555555u;  // 120 degrees
    for (uint32_t i = 0; i < frames; ++i) {
        const auto phase = static_cast<uint32_t>(uint64_t{k0 + i} * increment);
        PutFrame(out + 4 * i, table[phase >> 16], table[(phase - kThird) >> 16]);
    }
}

uint64_t SplitMix64(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Hash noise: frame k depends only on (seed, k), so any range is computable.
void Noise(const Track& t, uint32_t k0, uint32_t frames, uint8_t* out)
{
    for (uint32_t i = 0; i < frames; ++i) {
        const uint64_t h = SplitMix64((uint64_t{t.seed} << 32) | (k0 + i));
        PutFrame(out + 4 * i, static_cast<uint16_t>(h), static_cast<uint16_t>(h >> 16));
    }
}

void Counter(uint32_t k0, uint32_t frames, uint8_t* out)
{
    for (uint32_t i = 0; i < frames; ++i) {
        uint16_t left, right;
        CounterFrame(k0 + i, left, right);
        PutFrame(out + 4 * i, left, right);
    }
}

// A 16-note pentatonic tune over a I-IV-V-I bass, one bar per four notes.
class Tune {
public:
    explicit Tune(const Track& t) : base_(KeyOf(t.seed)), frames_(int64_t{t.sectors} * kFramesPerSector)
    {
        static constexpr int kScale[] = {0, 2, 4, 7, 9, 12, 14, 16};
        uint32_t state = t.seed * 2654435761u + 12345u;
        int degree = 2;
        for (int n = 0; n < kNotes; ++n) {
            state = state * 1664525u + 1013904223u;
            degree = std::clamp(degree + static_cast<int>((state >> 24) % 5) - 2, 0, 7);
            semitones_[n] = kScale[n == kNotes - 1 ? 0 : degree];
        }
    }

    void Render(uint32_t k0, uint32_t frames, uint8_t* out) const
    {
        for (uint32_t i = 0; i < frames; ++i) {
            const int64_t k = int64_t{k0} + i;
            const double melody = Voice(k);
            const double bass = Bass(k);
            const double fade = std::min(1.0, static_cast<double>(frames_ - k) / kRate);
            PutFrame(out + 4 * i, ToSample(fade * (melody + 0.8 * bass)),
                     ToSample(fade * (0.8 * melody + bass)));
        }
    }

private:
    static constexpr int kNotes = 16;
    static constexpr int64_t kNoteFrames = 19845;  // 0.45 s

    static double KeyOf(uint32_t seed)
    {
        static constexpr double kKeys[] = {261.63, 293.66, 329.63, 392.00, 220.00};  // C D E G A
        return kKeys[seed % 5];
    }

    static double Envelope(double t, double length, double decay)
    {
        const double attack = std::min(1.0, t / 882.0);
        const double release = std::min(1.0, (length - t) / 441.0);
        return attack * release * std::exp(-decay * t / length);
    }

    double Voice(int64_t k) const
    {
        const auto t = static_cast<double>(k % kNoteFrames);
        const double f = base_ * std::exp2(semitones_[(k / kNoteFrames) % kNotes] / 12.0);
        const double phi = kTwoPi * f * t / kRate;
        return Envelope(t, kNoteFrames, 3.0) *
               (0.20 * std::sin(phi) + 0.06 * std::sin(2 * phi) + 0.025 * std::sin(3 * phi));
    }

    double Bass(int64_t k) const
    {
        static constexpr int kChords[] = {0, 5, 7, 0};
        const int64_t bar = 4 * kNoteFrames;
        const auto t = static_cast<double>(k % bar);
        const double f = base_ / 2 * std::exp2(kChords[(k / bar) % 4] / 12.0);
        return 0.15 * Envelope(t, bar, 1.5) * std::sin(kTwoPi * f * t / kRate);
    }

    double base_;
    int64_t frames_;
    int semitones_[kNotes]{};
};

// CD-ROM error detection and correction (ECMA-130 annex A and B).
struct EccTables {
    std::array<uint8_t, 256> f{}, b{};
    std::array<uint32_t, 256> edc{};
    EccTables()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            const uint32_t j = (i << 1) ^ ((i & 0x80) ? 0x11D : 0);
            f[i] = static_cast<uint8_t>(j);
            b[i ^ j] = static_cast<uint8_t>(i);
            uint32_t e = i;
            for (int bit = 0; bit < 8; ++bit)
                e = (e >> 1) ^ ((e & 1) ? 0xD8018001u : 0);
            edc[i] = e;
        }
    }
};

const EccTables& Tables()
{
    static const EccTables tables;
    return tables;
}

void EccBlock(const uint8_t* src, uint32_t majorCount, uint32_t minorCount, uint32_t majorMult,
              uint32_t minorInc, uint8_t* dest)
{
    const EccTables& tab = Tables();
    const uint32_t size = majorCount * minorCount;
    for (uint32_t major = 0; major < majorCount; ++major) {
        uint32_t index = (major >> 1) * majorMult + (major & 1);
        uint8_t a = 0, b = 0;
        for (uint32_t minor = 0; minor < minorCount; ++minor) {
            const uint8_t v = src[index];
            index += minorInc;
            if (index >= size)
                index -= size;
            a ^= v;
            b ^= v;
            a = tab.f[a];
        }
        a = tab.b[tab.f[a] ^ b];
        dest[major] = a;
        dest[major + majorCount] = a ^ b;
    }
}

uint8_t Bcd(int v) { return static_cast<uint8_t>((v / 10) << 4 | (v % 10)); }

}  // namespace

void SealMode1(uint8_t* sector)
{
    uint32_t edc = 0;
    for (int i = 0; i < 0x810; ++i)
        edc = (edc >> 8) ^ Tables().edc[(edc ^ sector[i]) & 0xFF];
    for (int i = 0; i < 4; ++i)
        sector[0x810 + i] = static_cast<uint8_t>(edc >> (8 * i));
    std::memset(sector + 0x814, 0, 8);
    EccBlock(sector + 0xC, 86, 24, 2, 86, sector + 0x81C);   // P parity
    EccBlock(sector + 0xC, 52, 43, 86, 88, sector + 0x8C8);  // Q parity
}

void RenderAudio(const Track& t, int32_t first, int32_t count, uint8_t* out)
{
    for (int32_t s = first; s < first + count && s < 0; ++s, out += kSectorBytes)
        std::memset(out, 0, kSectorBytes);
    const int32_t from = std::max(first, 0);
    if (from >= first + count)
        return;
    const auto k0 = static_cast<uint32_t>(from) * kFramesPerSector;
    const auto frames = static_cast<uint32_t>(first + count - from) * kFramesPerSector;
    switch (t.content) {
    case Content::Sine: Sine(t, k0, frames, out); break;
    case Content::Noise: Noise(t, k0, frames, out); break;
    case Content::Counter: Counter(k0, frames, out); break;
    case Content::Silence: std::memset(out, 0, size_t{frames} * 4); break;
    case Content::Melody: Tune(t).Render(k0, frames, out); break;
    }
}

void RenderData(const Track&, int32_t lsn, int32_t first, int32_t count, uint8_t* out)
{
    for (int32_t i = 0; i < count; ++i, out += kSectorBytes) {
        std::memset(out, 0, kSectorBytes);
        std::memset(out + 1, 0xFF, 10);  // sync
        const int32_t address = lsn + i + 150;
        out[12] = Bcd(address / (60 * 75));
        out[13] = Bcd(address / 75 % 60);
        out[14] = Bcd(address % 75);
        out[15] = 1;  // mode
        const int32_t s = first + i;
        if (s >= 0) {  // pregap sectors keep an empty payload
            uint8_t* payload = out + 16;
            for (int j = 0; j < kDataPayloadBytes; ++j)
                payload[j] = static_cast<uint8_t>(s * 7 + j + (j >> 8));
            std::snprintf(reinterpret_cast<char*>(payload), 32, "DATA SECTOR %08d", s);
        }
        SealMode1(out);
    }
}

}  // namespace detail
}  // namespace discimage
