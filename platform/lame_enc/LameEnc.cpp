// The encoder library's stream interface over libmp3lame.  What each field of
// the configuration record means here is written down in <ripper/LameEnc.h>.
#include <ripper/LameEnc.h>

#include <lame/lame.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace {

constexpr std::size_t kMaxStreams = 64;

struct LameCloser {
    void operator()(lame_global_flags* gfp) const { lame_close(gfp); }
};
using LamePtr = std::unique_ptr<lame_global_flags, LameCloser>;

struct Stream {
    LamePtr lame;
    int channels = 2;
    uint32_t samplesPerChunk = 0;
    uint32_t outputBufferSize = 0;
    bool flushed = false;
};

class StreamTable {
public:
    uint32_t Add(std::unique_ptr<Stream> stream)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (streams_.size() >= kMaxStreams)
            return 0;
        if (next_ == 0)
            next_ = 1;
        const uint32_t handle = next_++;
        streams_.emplace(handle, std::move(stream));
        return handle;
    }

    Stream* Find(uint32_t handle)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = streams_.find(handle);
        return it == streams_.end() ? nullptr : it->second.get();
    }

    bool Remove(uint32_t handle)
    {
        std::unique_ptr<Stream> gone;  // released after the lock, LAME's teardown is slow
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = streams_.find(handle);
        if (it == streams_.end())
            return false;
        gone = std::move(it->second);
        streams_.erase(it);
        return true;
    }

private:
    std::mutex mutex_;
    std::map<uint32_t, std::unique_ptr<Stream>> streams_;
    uint32_t next_ = 1;
};

StreamTable& Streams()
{
    static StreamTable table;
    return table;
}

// LAME's messages would otherwise go to the caller's stderr.
void Quiet(const char*, va_list) {}

bool IsMpegRate(uint32_t rate)
{
    static constexpr std::array<uint32_t, 9> kRates{8000,  11025, 12000, 16000, 22050,
                                                    24000, 32000, 44100, 48000};
    return std::find(kRates.begin(), kRates.end(), rate) != kRates.end();
}

bool IsTableBitrate(const lame_global_flags* gfp, uint32_t kbps)
{
    const int version = lame_get_version(gfp);
    for (int index = 1; index <= 14; ++index)
        if (lame_get_bitrate(version, index) == static_cast<int>(kbps))
            return true;
    return false;
}

MPEG_mode ModeOf(int32_t mode)
{
    static constexpr MPEG_mode kModes[] = {STEREO, JOINT_STEREO, DUAL_CHANNEL, MONO};
    return kModes[mode];
}

// Each setter of LAME returns non-zero for a value it refuses.
bool SetQuality(lame_global_flags* gfp, int32_t quality)
{
    switch (quality) {
    case NORMAL_QUALITY: return true;
    case LOW_QUALITY: return lame_set_quality(gfp, 7) == 0;
    case HIGH_QUALITY: return lame_set_quality(gfp, 2) == 0;
    case VOICE_QUALITY: return lame_set_quality(gfp, 5) == 0 && lame_set_lowpassfreq(gfp, 8000) == 0;
    default: return false;
    }
}

bool SetBitrates(lame_global_flags* gfp, const TBEConfig& config)
{
    if (!config.EnableVBR)
        return lame_set_VBR(gfp, vbr_off) == 0 && lame_set_brate(gfp, static_cast<int>(config.Bitrate)) == 0;
    return lame_set_VBR(gfp, vbr_default) == 0 && lame_set_VBR_q(gfp, config.VBRQuality) == 0 &&
           lame_set_VBR_min_bitrate_kbps(gfp, static_cast<int>(config.Bitrate)) == 0 &&
           lame_set_VBR_max_bitrate_kbps(gfp, static_cast<int>(config.MaxBitrate)) == 0;
}

bool Configure(lame_global_flags* gfp, const TBEConfig& config)
{
    lame_set_errorf(gfp, Quiet);
    lame_set_debugf(gfp, Quiet);
    lame_set_msgf(gfp, Quiet);
    lame_set_write_id3tag_automatic(gfp, 0);
    const bool rates = lame_set_in_samplerate(gfp, static_cast<int>(config.SampleRate)) == 0 &&
                       lame_set_out_samplerate(gfp, static_cast<int>(config.ReSampleRate)) == 0;
    const bool mode = lame_set_num_channels(gfp, config.Mode == 3 ? 1 : 2) == 0 &&
                      lame_set_mode(gfp, ModeOf(config.Mode)) == 0;
    const bool bits = lame_set_extension(gfp, config.Private != 0) == 0 &&
                      lame_set_error_protection(gfp, config.CRC != 0) == 0 &&
                      lame_set_copyright(gfp, config.Copyright != 0) == 0 &&
                      lame_set_original(gfp, config.Original != 0) == 0 &&
                      lame_set_emphasis(gfp, static_cast<int>(config.Emphasis)) == 0;
    return rates && mode && bits && SetQuality(gfp, config.Quality) && SetBitrates(gfp, config) &&
           lame_set_bWriteVbrTag(gfp, 0) == 0 && lame_init_params(gfp) == 0 &&
           (config.EnableVBR || IsTableBitrate(gfp, config.Bitrate));
}

uint32_t CheckConfig(const TBEConfig& config)
{
    if (config.ConfigKind != BE_CONFIG_KIND_LAME)
        return BE_ERR_INVALID_FORMAT;
    const bool valid = IsMpegRate(config.SampleRate) &&
                       (config.ReSampleRate == 0 || IsMpegRate(config.ReSampleRate)) && config.Mode >= 0 &&
                       config.Mode <= 3;
    return valid ? BE_ERR_SUCCESSFUL : BE_ERR_INVALID_FORMAT_PARAMETERS;
}

uint32_t EncodeResult(int lameResult)
{
    return lameResult == -1 ? BE_ERR_BUFFER_TOO_SMALL : BE_ERR_ENCODER_FAILED;
}

}  // namespace

extern "C" {

LAMEENC_API void LAMEENC_CALL beVersion(TBEVersion* version)
{
    if (!version)
        return;
    lame_version_t engine{};
    get_lame_version_numerical(&engine);
    TBEVersion v{};
    v.DLLMajorVersion = LAME_ENC_DLL_MAJOR;
    v.DLLMinorVersion = LAME_ENC_DLL_MINOR;
    v.MajorVersion = static_cast<uint8_t>(engine.major);
    v.MinorVersion = static_cast<uint8_t>(engine.minor);
    v.Year = 2024;
    v.Month = 5;
    v.Day = 1;
    std::strncpy(v.HomePage, get_lame_url(), sizeof v.HomePage - 1);
    *version = v;
}

LAMEENC_API uint32_t LAMEENC_CALL beInitStream(TBEConfig* config, uint32_t* samplesPerChunk,
                                               uint32_t* outputBufferSize, uint32_t* stream)
{
    if (!config)
        return BE_ERR_INVALID_FORMAT;
    if (!samplesPerChunk || !outputBufferSize || !stream)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    if (const uint32_t result = CheckConfig(*config); result != BE_ERR_SUCCESSFUL)
        return result;

    auto s = std::make_unique<Stream>();
    s->lame.reset(lame_init());
    if (!s->lame)
        return BE_ERR_ENCODER_FAILED;
    if (!Configure(s->lame.get(), *config))
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    s->channels = lame_get_num_channels(s->lame.get());
    s->samplesPerChunk = static_cast<uint32_t>(lame_get_framesize(s->lame.get()) * s->channels);
    s->outputBufferSize = s->samplesPerChunk + (s->samplesPerChunk + 3) / 4 + 7200;

    const uint32_t chunk = s->samplesPerChunk;
    const uint32_t bufferSize = s->outputBufferSize;
    const uint32_t handle = Streams().Add(std::move(s));
    if (handle == 0)
        return BE_ERR_NO_MORE_HANDLES;
    *samplesPerChunk = chunk;
    *outputBufferSize = bufferSize;
    *stream = handle;
    return BE_ERR_SUCCESSFUL;
}

LAMEENC_API uint32_t LAMEENC_CALL beEncodeChunk(uint32_t stream, uint32_t samples, const int16_t* pcm,
                                                uint8_t* output, uint32_t* outputBytes)
{
    Stream* s = Streams().Find(stream);
    if (!s || s->flushed)
        return BE_ERR_INVALID_HANDLE;
    const uint32_t channels = static_cast<uint32_t>(s->channels);
    if (samples > s->samplesPerChunk || samples % channels != 0 || !output || !outputBytes ||
        (samples > 0 && !pcm))
        return BE_ERR_INVALID_FORMAT_PARAMETERS;

    const int frames = static_cast<int>(samples / channels);
    const int size = static_cast<int>(s->outputBufferSize);
    // LAME copies the interleaved samples before it touches them; its
    // prototype merely lacks the const.
    const int written =
        channels == 1
            ? lame_encode_buffer(s->lame.get(), pcm, pcm, frames, output, size)
            : lame_encode_buffer_interleaved(s->lame.get(), const_cast<int16_t*>(pcm), frames, output, size);
    if (written < 0)
        return EncodeResult(written);
    *outputBytes = static_cast<uint32_t>(written);
    return BE_ERR_SUCCESSFUL;
}

LAMEENC_API uint32_t LAMEENC_CALL beDeinitStream(uint32_t stream, uint8_t* output, uint32_t* outputBytes)
{
    Stream* s = Streams().Find(stream);
    if (!s || s->flushed)
        return BE_ERR_INVALID_HANDLE;
    if (!output || !outputBytes)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    const int written = lame_encode_flush(s->lame.get(), output, static_cast<int>(s->outputBufferSize));
    if (written < 0)
        return EncodeResult(written);
    s->flushed = true;
    *outputBytes = static_cast<uint32_t>(written);
    return BE_ERR_SUCCESSFUL;
}

LAMEENC_API uint32_t LAMEENC_CALL beCloseStream(uint32_t stream)
{
    return Streams().Remove(stream) ? BE_ERR_SUCCESSFUL : BE_ERR_INVALID_HANDLE;
}

}  // extern "C"
