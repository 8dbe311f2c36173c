// Score sounds: every booked visit can be announced by a wave file named after its score, taken
// from the folder "sound" of the base folder ("sound/Score60.wav" for a visit of 60) or, for the
// installed program, from the installation's shared sound folder. The program synthesises
// nothing; a score without a file stays silent.
//
// One player, `mp3player`, serves the whole program and holds at most one sound at a time: the
// next visit stops a sound that is still playing. Playback runs in the background; nothing ever
// waits for a sound to end. The files are decoded by DecodeWaveFile (wave_file.h) and played on a
// TSoundOutput (pulse_output.h).
#pragma once

#include <cstdint>
#include <string>

namespace brennix {

// Where the sounds go (pulse_output.h).
class TSoundOutput;

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
