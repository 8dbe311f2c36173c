// The wave decoder: which files count as wave files, both sides of the sample rate's bounds and
// of the half-minute length, headers that claim more data than the file holds, and libsndfile's
// own texts for files it cannot read.
#include "engine/errors.h"
#include "ui/wave_file.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <numeric>
#include <sndfile.h>
#include <string>
#include <vector>

namespace brennix::test {
namespace {

namespace fs = std::filesystem;

// The samples 0, 1, 2, ... (wrapping past 32767): a sample out of place shows.
std::vector<int16_t> Ramp(size_t count) {
    std::vector<int16_t> samples(count);
    std::iota(samples.begin(), samples.end(), int16_t{0});
    return samples;
}

class WaveFileTest : public ::testing::Test {
  protected:
    fs::path dir;

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "brennix-wave-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Bytes(const std::string& name, const std::string& bytes) const {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // A sound file written by libsndfile. A 16-bit wave file has a header of 44 bytes: the
    // sample rate at byte 24, the length of the data at byte 40.
    std::string Sound(const std::string& name, int format, int rate, int channels,
                      const std::vector<int16_t>& samples) const {
        const std::string path = (dir / name).string();
        SF_INFO info{0, rate, channels, format, 0, 0};
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(file, nullptr) << name << ": " << sf_strerror(nullptr);
        sf_writef_short(file, samples.data(), static_cast<sf_count_t>(samples.size()) / channels);
        sf_close(file);
        return path;
    }

    // A copy of a file with the 4 bytes at `offset` set to `value`, cut after `size` bytes.
    std::string Forged(const std::string& name, const std::string& from, size_t offset,
                       uint32_t value, size_t size = std::string::npos) const {
        std::ifstream in(from, std::ios::binary);
        std::string bytes{std::istreambuf_iterator<char>(in), {}};
        for (size_t i = 0; i < 4; ++i)
            bytes[offset + i] = static_cast<char>(value >> (8 * i));
        return Bytes(name, bytes.substr(0, size));
    }
};

// Wave files in every dress decode to exactly the frames they hold, at most 30 s of them: 30000
// frames at 1000 Hz. The memory kept is what the samples need.
TEST_F(WaveFileTest, DecodesWaveFilesUpToHalfAMinute) {
    constexpr int Pcm16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    const std::vector<int16_t> six = {0, 100, -100, 32767, -32768, 7}, silence(6);
    struct TCase {
        std::string path;
        int rate;
        int channels;
        std::vector<int16_t> samples;
    };
    const std::vector<TCase> cases = {
        {Sound("lowest-rate.wav", Pcm16, 1, 1, six), 1, 1, six},
        {Sound("highest-rate.wav", Pcm16, 384000, 2, six), 384000, 2, six},
        {Sound("no-data.wav", Pcm16, 8000, 2, {}), 8000, 2, {}},
        {Sound("30s.wav", Pcm16, 1000, 2, Ramp(60000)), 1000, 2, Ramp(60000)},
        {Sound("30s-and-a-frame.wav", Pcm16, 1000, 2, Ramp(60002)), 1000, 2, Ramp(60000)},
        {Sound("rf64.wav", SF_FORMAT_RF64 | SF_FORMAT_PCM_16, 22050, 2, six), 22050, 2, six},
        {Sound("wavex.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 44100, 3, six), 44100, 3, six},
        // Silence, the one sound whose 16-bit form does not depend on how floats are scaled.
        {Sound("float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 8000, 1, silence), 8000, 1, silence},
        // The data chunk claims 200 frames and ends in the middle of the 101st.
        {Forged("cut.wav", Sound("101.wav", Pcm16, 8000, 2, Ramp(202)), 40, 800, 44 + 402), 8000, 2,
         Ramp(200)},
        // The header claims nearly 4 GiB of data; the file holds 100 frames.
        {Forged("lie.wav", Sound("100.wav", Pcm16, 384000, 1, Ramp(100)), 40, 0xfffffff0u), 384000,
         1, Ramp(100)},
    };
    for (const TCase& item : cases) {
        const TPcmSound sound = DecodeWaveFile(item.path);
        EXPECT_EQ(sound.FileName, item.path);
        EXPECT_EQ(sound.SampleRate, item.rate) << item.path;
        EXPECT_EQ(sound.Channels, item.channels) << item.path;
        EXPECT_EQ(sound.Samples.size(), item.samples.size()) << item.path;
        EXPECT_TRUE(sound.Samples == item.samples) << item.path;
        EXPECT_EQ(sound.Samples.capacity(), item.samples.size()) << item.path;
    }
}

// A file libsndfile cannot open raises its own text; a sound file of another kind, even named
// like a wave file, or a rate above 384000 Hz raises the decoder's text naming the file.
TEST_F(WaveFileTest, RefusesWhatIsNotAPlayableWaveFile) {
    struct TCase {
        std::string path;
        std::string text;
    };
    const std::string aiff = Sound("aiff.wav", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 8000, 1, Ramp(4));
    const std::string flac = Sound("flac.wav", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 8000, 1, Ramp(4));
    const std::string fast =
        Sound("fast.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 384001, 1, Ramp(4));
    const std::vector<TCase> cases = {
        {aiff, "Not a wave file: " + aiff},
        {flac, "Not a wave file: " + flac},
        {fast, "Not a playable wave file: " + fast},
        {Forged("rate0.wav", fast, 24, 0), "Internal error : SF_INFO struct incomplete."},
        {Bytes("text.wav", "this is not a wave file at all, just text\n"),
         "Format not recognised."},
        {Bytes("empty.wav", ""), "Format not recognised."},
        {Bytes("header.wav", std::string("RIFF\x24\0\0\0WAVEfmt ", 16)),
         "Error in WAV file. No 'data' chunk marker."},
        {(dir / "missing.wav").string(), "System error : No such file or directory."},
    };
    for (const TCase& item : cases) {
        try {
            DecodeWaveFile(item.path);
            ADD_FAILURE() << item.path << " decoded";
        } catch (const EMediaError& error) {
            EXPECT_EQ(error.what(), item.text);
        }
    }
}

} // namespace
} // namespace brennix::test
