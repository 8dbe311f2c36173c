#include "ui/windows/waveout_output.h"

#include "engine/errors.h"

#include <windows.h>

#include <mmsystem.h> // needs windows.h first

namespace brennix {

struct TWaveOutSoundOutput::TDevice {
    HWAVEOUT Handle = nullptr;
    std::vector<int16_t> Samples; // stays put while the device plays them
    WAVEHDR Header{};
    bool Prepared = false;
};

namespace {

// waveOut's own text for a result, or NoAudioDeviceText when there is no device to play on.
std::string ErrorText(MMRESULT result) {
    if (result == MMSYSERR_NODRIVER || result == MMSYSERR_BADDEVICEID ||
        result == MMSYSERR_NOTENABLED)
        return NoAudioDeviceText;
    char text[MAXERRORLENGTH] = {};
    if (::waveOutGetErrorTextA(result, text, sizeof text) != MMSYSERR_NOERROR)
        return "Sound error " + std::to_string(result);
    return text;
}

} // namespace

TWaveOutSoundOutput::TWaveOutSoundOutput() = default;

TWaveOutSoundOutput::~TWaveOutSoundOutput() {
    Close();
}

void TWaveOutSoundOutput::Open(const TPcmSound& sound) {
    Close();
    if (::waveOutGetNumDevs() == 0) throw EMediaError(NoAudioDeviceText);
    auto device = std::make_unique<TDevice>();
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(sound.Channels);
    format.nSamplesPerSec = static_cast<DWORD>(sound.SampleRate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(format.nChannels * sizeof(int16_t));
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    MMRESULT result = ::waveOutOpen(&device->Handle, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    if (result != MMSYSERR_NOERROR) throw EMediaError(ErrorText(result));
    device->Samples = sound.Samples;
    device->Header.lpData = reinterpret_cast<LPSTR>(device->Samples.data());
    device->Header.dwBufferLength = static_cast<DWORD>(device->Samples.size() * sizeof(int16_t));
    result = ::waveOutPrepareHeader(device->Handle, &device->Header, sizeof device->Header);
    if (result != MMSYSERR_NOERROR) {
        ::waveOutClose(device->Handle);
        throw EMediaError(ErrorText(result));
    }
    device->Prepared = true;
    device_ = std::move(device);
}

void TWaveOutSoundOutput::Play() {
    if (!device_ || device_->Samples.empty()) return;
    ::waveOutReset(device_->Handle); // from the beginning, should it be playing already
    ::waveOutWrite(device_->Handle, &device_->Header, sizeof device_->Header);
}

void TWaveOutSoundOutput::Close() {
    if (!device_) return;
    ::waveOutReset(device_->Handle); // stops at once and hands the samples back
    if (device_->Prepared)
        ::waveOutUnprepareHeader(device_->Handle, &device_->Header, sizeof device_->Header);
    ::waveOutClose(device_->Handle);
    device_.reset();
}

} // namespace brennix
