#include "sound.h"

#include "engine/errors.h"
#include "storage/paths.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QMediaDevices>
#include <algorithm>
#include <new>
#include <sndfile.h>

namespace brennix {

namespace {

constexpr int32_t HighestScore = 180;
constexpr sf_count_t MaxSeconds = 30;
constexpr int HighestSampleRate = 384000; // more than any audio output plays
constexpr sf_count_t FramesPerRead = 16384;

// Decodes a wave file completely. Anything libsndfile cannot read raises EMediaError with
// libsndfile's own text; a sound file of another kind (AIFF, FLAC, ...) is not a wave file even
// when it is named like one.
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

// Any failure while a sound is loaded or readied ends as the sound's error, with a text that says
// which file it was.
template <class Step>
void AsMediaError(const std::string& fileName, Step step) {
    try {
        step();
    } catch (const EMediaError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw EMediaError("Not enough memory to play " + fileName);
    } catch (const std::exception& error) {
        throw EMediaError("Cannot play " + fileName + ": " + error.what());
    }
}

// The program's one playback device: it holds at most one sound, and a sound stays open after it
// has ended until the next one replaces it or the program ends.
class TMediaPlayer {
  public:
    void Close() { Output().Close(); }

    void Open(const std::string& fileName) {
        AsMediaError(fileName, [&] {
            const TPcmSound sound = DecodeWaveFile(fileName);
            CloseWhenTheApplicationEnds();
            Output().Open(sound);
        });
    }

    void Play() { Output().Play(); }

    void SetOutput(TSoundOutput* output) {
        Close();
        chosen_ = output;
    }

  private:
    TSoundOutput& Output() {
        if (chosen_ != nullptr) return *chosen_;
        if (!qtOutput_) qtOutput_ = std::make_unique<TQtSoundOutput>();
        return *qtOutput_;
    }

    // Qt's audio objects must go before the application object does.
    void CloseWhenTheApplicationEnds() {
        if (closeRegistered_ || QCoreApplication::instance() == nullptr) return;
        qAddPostRoutine(CloseScoreSound);
        closeRegistered_ = true;
    }

    TSoundOutput* chosen_ = nullptr;
    std::unique_ptr<TQtSoundOutput> qtOutput_; // made on first use
    bool closeRegistered_ = false;
};

TMediaPlayer mp3player;

} // namespace

TQtSoundOutput::TQtSoundOutput()
    : TQtSoundOutput([] { return QMediaDevices::defaultAudioOutput(); }) {}

TQtSoundOutput::TQtSoundOutput(TDeviceFinder findDevice) : findDevice_(std::move(findDevice)) {}

TQtSoundOutput::~TQtSoundOutput() {
    Close();
}

void TQtSoundOutput::Open(const TPcmSound& sound) {
    Close();
    const QAudioDevice device = findDevice_();
    if (device.isNull()) throw EMediaError(NoAudioDeviceText);

    QAudioFormat format;
    format.setSampleRate(sound.SampleRate);
    format.setChannelCount(sound.Channels);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
        throw EMediaError("The audio output device cannot play " + std::to_string(sound.Channels) +
                          " channel(s) at " + std::to_string(sound.SampleRate) + " Hz");
    }

    samples_ = std::make_unique<QByteArray>(
        reinterpret_cast<const char*>(sound.Samples.data()),
        static_cast<qsizetype>(sound.Samples.size() * sizeof(int16_t)));
    buffer_ = std::make_unique<QBuffer>(samples_.get());
    buffer_->open(QIODevice::ReadOnly);
    sink_ = std::make_unique<QAudioSink>(device, format);
}

void TQtSoundOutput::Play() {
    if (!sink_) return;
    buffer_->seek(0);
    sink_->start(buffer_.get()); // the sink pulls the samples by itself; a failure is ignored
}

void TQtSoundOutput::Close() {
    if (sink_) sink_->stop();
    sink_.reset();
    buffer_.reset();
    samples_.reset();
}

bool TQtSoundOutput::IsPlaying() const {
    return sink_ != nullptr && sink_->state() == QAudio::ActiveState;
}

std::string ScoreSoundPath(int32_t score) {
    return BaseDir() + "sound/Score" + std::to_string(score) + ".wav";
}

void PlayScoreSound(int32_t score) {
    if (score < 0 || score > HighestScore) return; // no other files are ever looked for
    const std::string path = ScoreSoundPath(score);
    if (!FileExists(path)) return;
    mp3player.Close(); // a sound from an earlier visit stops here
    mp3player.Open(path);
    mp3player.Play(); // returns at once; the end of the sound is not awaited
}

void CloseScoreSound() {
    mp3player.Close();
}

void SetSoundOutput(TSoundOutput* output) {
    mp3player.SetOutput(output);
}

} // namespace brennix
