// CD audio (44.1 kHz, 16-bit little-endian stereo) into one of the six output
// formats (internal).  Mono is the average of left and right (rounded toward
// minus infinity); the lower rates are made by a streaming libsoxr resampler
// without dither, so equal input gives equal output.  After Finish() a range
// of N input frames has given exactly floor(N * ratio + 0.5) output frames.
#ifndef CDRIP_PCMCONVERTER_H
#define CDRIP_PCMCONVERTER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct soxr;

namespace cdrip {

struct FormatInfo {
    int32_t rate;
    int32_t channels;
    int32_t bytesPerSector;  // output bytes per 1/75 s
};

// Rate, channels and bytes per sector of a TOutputFormat ordinal (0..5).
FormatInfo OutputFormatInfo(int32_t format);

class PcmConverter {
public:
    // Throws std::runtime_error when the resampler cannot be created.
    explicit PcmConverter(int32_t format);
    ~PcmConverter();
    PcmConverter(const PcmConverter&) = delete;
    PcmConverter& operator=(const PcmConverter&) = delete;

    // Appends the converted form of `frames` stereo frames to out.
    void Convert(const uint8_t* cdAudio, size_t frames, std::vector<uint8_t>& out);

    // Appends what the resampler still holds; call once at the range's end.
    void Finish(std::vector<uint8_t>& out);

private:
    void Resample(const int16_t* samples, size_t frames, std::vector<uint8_t>& out);

    struct SoxrDeleter {
        void operator()(soxr* resampler) const;
    };
    FormatInfo info_;
    std::unique_ptr<soxr, SoxrDeleter> resampler_;
    std::vector<int16_t> mono_;
    std::vector<int16_t> output_;
};

}  // namespace cdrip

#endif
