// The audio outputs of the score sounds: what the player asks of one (TSoundOutput), and the real
// one, a playback stream on the desktop's sound server (TPulseSoundOutput).
#pragma once

#include "wave_file.h"

#include <memory>
#include <string>

namespace brennix {

// The text of the error raised when there is no audio output to play on.
inline const std::string NoAudioDeviceText = "No audio output device available";

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

} // namespace brennix
