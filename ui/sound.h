// Score sounds: every booked visit can be announced by a wave file named after its score, taken
// from the folder "sound" of the base folder ("sound/Score60.wav" for a visit of 60) or, for the
// installed program, from the installation's shared sound folder. The program synthesises
// nothing; a score without a file stays silent.
//
// One player, `mp3player`, serves the whole program and holds at most one sound at a time: the
// next visit stops a sound that is still playing. Playback runs in the background; nothing ever
// waits for a sound to end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brennix {

// The text of the error raised when there is no audio output to play on.
inline const std::string NoAudioDeviceText = "No audio output device available";

// A wave file decoded to signed 16-bit samples, ready for an audio output.
struct TPcmSound {
    std::string FileName;         // the file the samples came from
    int SampleRate = 0;           // frames per second
    int Channels = 0;             // samples per frame
    std::vector<int16_t> Samples; // frame after frame, the channels of a frame side by side
};

// Where the score sounds go. The program plays them on the sound server's default output
// (TPulseSoundOutput); tests put a stand-in of their own in its place.
class TSoundOutput {
  public:
    virtual ~TSoundOutput() = default;
    // Takes the sound and makes the device ready to play it. Raises EMediaError when it cannot.
    virtual void Open(const TPcmSound& sound) = 0;
    // Starts the opened sound from its beginning and returns at once. A failure is ignored.
    virtual void Play() = 0;
    // Stops a sound that is still playing and lets go of the device. Never fails; closing when
    // nothing is open does nothing.
    virtual void Close() = 0;
};

// The real output: a playback stream on the default device of the desktop's sound server
// (PulseAudio, or PipeWire through its PulseAudio service). One connection to the server, made
// for the first sound, serves the sounds after it; each sound only opens a stream of its own on
// it. A connection the server has dropped (it ended, or was restarted with another device) is
// made afresh for the next sound. While there is no server or no device, Open raises
// EMediaError(NoAudioDeviceText). A server that does not answer is waited for at most half a
// second; after that, sounds raise the same error at once for a few seconds before the server is
// tried again. The stream plays on the connection's own thread; nothing here waits for it.
class TPulseSoundOutput final : public TSoundOutput {
  public:
    // The server to connect to ("unix:/path/to/socket"); empty for the session's own (PULSE_SERVER,
    // or the socket in the user's runtime folder). A server is never started for the program.
    explicit TPulseSoundOutput(std::string server = {});
    ~TPulseSoundOutput() override;

    void Open(const TPcmSound& sound) override;
    void Play() override;
    void Close() override;
    // Closes the sound and the connection to the server with its thread; the next sound connects
    // afresh.
    void Disconnect();

    bool IsOpen() const { return stream_ != nullptr; }
    bool IsPlaying() const; // started and not yet at the end (nor stopped, nor cut off)

  private:
    struct TConnection;
    struct TStream;
    std::string address_;
    std::unique_ptr<TConnection> connection_; // made for the first sound
    std::unique_ptr<TStream> stream_;         // the sound open on it
};

// Plays the wave file of a visit score without waiting for its end. A score outside 0-180, or one
// whose file does not exist (also when the folder "sound" is missing), is silent. Otherwise the
// sound still playing is stopped first; a file that is not a playable wave file, or a missing
// audio device, raises EMediaError with the decoder's (or the device's) own error text. Any other
// failure while the sound is loaded (out of memory included) raises EMediaError as well.
void PlayScoreSound(int32_t score);

// The file played for a score: BaseDir() + "sound/Score" + score + ".wav", or the installation's
// shared copy of it when the base folder has none (see SoundPath).
std::string ScoreSoundPath(int32_t score);

// Stops the sound still playing, if any, and closes the player together with its connection to
// the sound server. Runs by itself when the application object is destroyed.
void CloseScoreSound();

// Makes the player use another output (it does not take ownership); nullptr brings back the
// default TPulseSoundOutput. Whatever the old output has open is closed first.
void SetSoundOutput(TSoundOutput* output);

} // namespace brennix
