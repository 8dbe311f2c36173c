// The wave files of the score sounds, decoded with libsndfile. Only wave files are played: plain
// RIFF WAVE, WAVE_FORMAT_EXTENSIBLE and RF64, with any sample format libsndfile reads (16-bit PCM,
// 24-bit, floating point, ADPCM, ...). Needs no Qt.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brennix {

// A wave file decoded to signed 16-bit samples, ready for an audio output.
struct TPcmSound {
    std::string FileName;         // the file the samples came from
    int SampleRate = 0;           // frames per second
    int Channels = 0;             // samples per frame
    std::vector<int16_t> Samples; // frame after frame, the channels of a frame side by side
};

// Decodes a wave file completely. Raises EMediaError with
// - libsndfile's own text for a file it cannot open ("Format not recognised.", ...);
// - "Not a wave file: " + fileName for a sound file of another kind (AIFF, FLAC, ...), even when
//   it is named like a wave file;
// - "Not a playable wave file: " + fileName for a sample rate above 384000 Hz (a rate or a
//   channel count of 0 libsndfile refuses itself);
// - libsndfile's text for a failure while the samples are read.
// At most the first 30 seconds are read (sample rate x 30 frames); the rest of a longer file is
// left alone. A data chunk shorter than its header says yields the whole frames it really holds,
// and the memory taken follows them, not the length the header claims.
TPcmSound DecodeWaveFile(const std::string& fileName);

} // namespace brennix
