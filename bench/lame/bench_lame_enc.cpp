// bench_lame_enc IN.raw OUT.mp3   encodes 16-bit little-endian stereo 44.1 kHz
//                                  PCM with the encoder component's defaults
// bench_lame_enc --make-pcm OUT.raw SECONDS   writes such PCM (two sines)
#include <ripper/LameEnc.h>
#include "StdioFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

namespace {

using File = util::TStdioFile;

int MakePcm(const char* path, double seconds)
{
    File out(std::fopen(path, "wb"));
    if (!out)
        return 1;
    const long frames = static_cast<long>(44100 * seconds);
    std::vector<int16_t> block(2 * 44100);
    for (long at = 0; at < frames; at += 44100) {
        const long n = std::min(44100L, frames - at);
        for (long i = 0; i < n; ++i) {
            const double t = double(at + i) / 44100;
            // A slow glide keeps the encoder from settling on one spectrum.
            block[2 * i] = static_cast<int16_t>(9000 * std::sin(2 * M_PI * (220 + 20 * std::sin(t)) * t));
            block[2 * i + 1] =
                static_cast<int16_t>(7000 * std::sin(2 * M_PI * 587.3 * t) + (std::rand() % 512) - 256);
        }
        if (std::fwrite(block.data(), 4, static_cast<std::size_t>(n), out.get()) !=
            static_cast<std::size_t>(n))
            return 1;
    }
    return 0;
}

int Encode(const char* inPath, const char* outPath)
{
    File in(std::fopen(inPath, "rb"));
    File out(std::fopen(outPath, "wb"));
    if (!in || !out)
        return 1;
    TBEConfig config{};
    config.ConfigKind = BE_CONFIG_KIND_LAME;
    config.StructVersion = 1;
    config.StructSize = sizeof config;
    config.SampleRate = 44100;
    config.Bitrate = 128;
    config.MaxBitrate = 320;
    config.MpegVersion = 1;
    config.CRC = -1;
    config.VBRQuality = 4;
    uint32_t samples = 0, bufferSize = 0, stream = 0;
    if (beInitStream(&config, &samples, &bufferSize, &stream) != BE_ERR_SUCCESSFUL)
        return 1;
    std::vector<int16_t> pcm(samples);
    std::vector<uint8_t> mp3(bufferSize);
    uint32_t bytes = 0;
    bool ok = true;
    for (std::size_t n; ok && (n = std::fread(pcm.data(), 2, samples, in.get())) > 0;)
        ok = beEncodeChunk(stream, static_cast<uint32_t>(n & ~std::size_t{1}), pcm.data(), mp3.data(),
                           &bytes) == 0 &&
             std::fwrite(mp3.data(), 1, bytes, out.get()) == bytes;
    ok = ok && beDeinitStream(stream, mp3.data(), &bytes) == 0 &&
         std::fwrite(mp3.data(), 1, bytes, out.get()) == bytes;
    beCloseStream(stream);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string_view(argv[1]) == "--make-pcm")
        return MakePcm(argv[2], std::atof(argv[3]));
    if (argc == 3)
        return Encode(argv[1], argv[2]);
    std::fprintf(stderr, "usage: %s IN.raw OUT.mp3 | --make-pcm OUT.raw SECONDS\n", argv[0]);
    return 2;
}
