#include "PcmConverter.h"

#include <soxr.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace cdrip {

constexpr int32_t kCdRate = 44100;
constexpr size_t kOutputFrames = 4096;  // resampler output per soxr_process call

FormatInfo OutputFormatInfo(int32_t format)
{
    static const FormatInfo table[6] = {
        {44100, 2, 2352}, {44100, 1, 1176}, {22050, 2, 1176},
        {22050, 1, 588},  {11025, 2, 588},  {11025, 1, 294},
    };
    if (format < 0 || format > 5)
        throw std::out_of_range("output format " + std::to_string(format));
    return table[format];
}

void PcmConverter::SoxrDeleter::operator()(soxr* resampler) const { soxr_delete(resampler); }

PcmConverter::PcmConverter(int32_t format) : info_(OutputFormatInfo(format))
{
    if (info_.rate == kCdRate)
        return;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    soxr_io_spec_t ioNoDither = io;
    ioNoDither.flags |= SOXR_NO_DITHER;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    resampler_.reset(soxr_create(kCdRate, info_.rate, static_cast<unsigned>(info_.channels), &error,
                                 &ioNoDither, &quality, &runtime));
    if (error != nullptr || !resampler_)
        throw std::runtime_error(std::string("soxr_create: ") + soxr_strerror(error));
    output_.resize(kOutputFrames * static_cast<size_t>(info_.channels));
}

PcmConverter::~PcmConverter() = default;

void PcmConverter::Convert(const uint8_t* cdAudio, size_t frames, std::vector<uint8_t>& out)
{
    const int16_t* samples = nullptr;
    if (info_.channels == 2) {
        if (!resampler_) {
            out.insert(out.end(), cdAudio, cdAudio + frames * 4);
            return;
        }
        mono_.resize(frames * 2);
        std::memcpy(mono_.data(), cdAudio, frames * 4);
        samples = mono_.data();
    } else {
        mono_.resize(frames);
        for (size_t i = 0; i < frames; ++i) {
            int16_t pair[2];
            std::memcpy(pair, cdAudio + i * 4, sizeof pair);
            mono_[i] = static_cast<int16_t>((int32_t{pair[0]} + int32_t{pair[1]}) >> 1);
        }
        samples = mono_.data();
        if (!resampler_) {
            const auto* bytes = reinterpret_cast<const uint8_t*>(samples);
            out.insert(out.end(), bytes, bytes + frames * 2);
            return;
        }
    }
    Resample(samples, frames, out);
}

void PcmConverter::Resample(const int16_t* samples, size_t frames, std::vector<uint8_t>& out)
{
    const size_t channels = static_cast<size_t>(info_.channels);
    // A null input tells the resampler that the stream has ended; it then
    // hands out what it holds until it returns nothing.
    for (;;) {
        size_t used = 0;
        size_t made = 0;
        const soxr_error_t error =
            soxr_process(resampler_.get(), samples, frames, &used, output_.data(), kOutputFrames, &made);
        if (error != nullptr)
            throw std::runtime_error(std::string("soxr_process: ") + error);
        const auto* bytes = reinterpret_cast<const uint8_t*>(output_.data());
        out.insert(out.end(), bytes, bytes + made * channels * 2);
        if (samples != nullptr) {
            samples += used * channels;
            frames -= used;
            if (frames == 0 && made < kOutputFrames)
                return;
        } else if (made == 0) {
            return;
        }
    }
}

void PcmConverter::Finish(std::vector<uint8_t>& out)
{
    if (resampler_)
        Resample(nullptr, 0, out);
}

}  // namespace cdrip
