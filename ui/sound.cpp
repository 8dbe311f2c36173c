#include "sound.h"

#include "engine/errors.h"
#ifdef _WIN32
#include "windows/waveout_output.h"
#else
#include "pulse_output.h"
#endif
#include "storage/paths.h"
#include "wave_file.h"

#include <QCoreApplication>
#include <memory>
#include <new>

namespace brennix {

namespace {

// The desktop's sound server on Linux, the wave output device on Windows.
#ifdef _WIN32
using TSystemSoundOutput = TWaveOutSoundOutput;
#else
using TSystemSoundOutput = TPulseSoundOutput;
#endif

constexpr int32_t HighestScore = 180;

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

    // Closes the sound and lets go of the sound server.
    void Shutdown() {
        Close();
        defaultOutput_.reset();
    }

    void SetOutput(TSoundOutput* output) {
        Close();
        chosen_ = output;
    }

  private:
    TSoundOutput& Output() {
        if (chosen_ != nullptr) return *chosen_;
        if (!defaultOutput_) defaultOutput_ = std::make_unique<TSystemSoundOutput>();
        return *defaultOutput_;
    }

    // The sound still playing ends with the application.
    void CloseWhenTheApplicationEnds() {
        if (closeRegistered_ || QCoreApplication::instance() == nullptr) return;
        qAddPostRoutine(CloseScoreSound);
        closeRegistered_ = true;
    }

    TSoundOutput* chosen_ = nullptr;
    std::unique_ptr<TSystemSoundOutput> defaultOutput_; // made on first use
    bool closeRegistered_ = false;
};

TMediaPlayer mp3player;

} // namespace

std::string ScoreSoundPath(int32_t score) {
    return SoundPath("Score" + std::to_string(score) + ".wav");
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
    mp3player.Shutdown();
}

void SetSoundOutput(TSoundOutput* output) {
    mp3player.SetOutput(output);
}

} // namespace brennix
