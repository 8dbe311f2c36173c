// The score sounds' output on Windows: the decoded samples handed to the default wave output
// device (waveOut), the same samples the Linux build gives its sound server.
#pragma once

#include "ui/pulse_output.h"

#include <memory>

namespace brennix {

// One device opened per sound; Play queues the whole sound and returns at once, the device plays
// it on the system's own thread. Without a device, Open raises EMediaError(NoAudioDeviceText);
// any other refusal raises it with Windows' own text.
class TWaveOutSoundOutput final : public TSoundOutput {
  public:
    TWaveOutSoundOutput();
    ~TWaveOutSoundOutput() override;

    void Open(const TPcmSound& sound) override;
    void Play() override;
    void Close() override;

  private:
    struct TDevice;
    std::unique_ptr<TDevice> device_; // the sound open on it
};

} // namespace brennix
