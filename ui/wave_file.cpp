#include "wave_file.h"

#include "engine/errors.h"

#include <algorithm>
#include <memory>
#include <sndfile.h>

namespace brennix {

namespace {

constexpr sf_count_t MaxSeconds = 30;
constexpr int HighestSampleRate = 384000; // more than any audio output plays
constexpr sf_count_t FramesPerRead = 16384;

} // namespace

TPcmSound DecodeWaveFile(const std::string& fileName) {
    SF_INFO info{};
    SNDFILE* opened = sf_open(fileName.c_str(), SFM_READ, &info);
    if (opened == nullptr) throw EMediaError(sf_strerror(nullptr));
    const std::unique_ptr<SNDFILE, decltype(&sf_close)> file(opened, sf_close);

    const int kind = info.format & SF_FORMAT_TYPEMASK;
    if (kind != SF_FORMAT_WAV && kind != SF_FORMAT_WAVEX && kind != SF_FORMAT_RF64)
        throw EMediaError("Not a wave file: " + fileName);

    if (info.samplerate <= 0 || info.samplerate > HighestSampleRate || info.channels <= 0)
        throw EMediaError("Not a playable wave file: " + fileName);

    TPcmSound sound;
    sound.FileName = fileName;
    sound.SampleRate = info.samplerate;
    sound.Channels = info.channels;
    // A call lasts seconds; whatever a file holds beyond the first half minute is not read. The
    // samples are read piece by piece, so the memory taken follows what the file really holds,
    // not the length its header claims.
    const sf_count_t longest = sf_count_t{info.samplerate} * MaxSeconds;
    const auto channels = static_cast<size_t>(info.channels);
    sf_count_t frames = 0;
    while (frames < longest) {
        const sf_count_t wanted = std::min(FramesPerRead, longest - frames);
        sound.Samples.resize(static_cast<size_t>(frames + wanted) * channels);
        const sf_count_t read = sf_readf_short(
            file.get(), sound.Samples.data() + static_cast<size_t>(frames) * channels, wanted);
        if (sf_error(file.get()) != SF_ERR_NO_ERROR) throw EMediaError(sf_strerror(file.get()));
        if (read <= 0) break;
        frames += read;
        if (read < wanted) break;
    }
    sound.Samples.resize(static_cast<size_t>(frames) * channels);
    sound.Samples.shrink_to_fit();
    return sound;
}

} // namespace brennix
