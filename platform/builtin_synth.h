#pragma once
// The built-in synthesizer: FluidSynth with a General MIDI soundfont, rendered by the audio
// thread in FluidSynth's own 64-frame blocks. Loading happens on a worker thread; messages
// that arrive before the synthesizer is ready are kept as channel state (programs,
// controllers, volume) and applied when it arrives, so the start-up settings take effect.

#include <cstdint>
#include <string>
#include <vector>

namespace taktovi {

// The soundfonts tried, in order; the first that exists is used.
std::vector<std::string> defaultSoundfonts();
// The first candidate that exists and has a soundfont header; empty when there is none.
std::string findSoundfont(const std::vector<std::string>& candidates);

// A FluidSynth instance ready to render, with its gain for full device volume.
struct LoadedSynth;
// Creates a synthesizer at `rate` and loads the soundfont (worker thread). The gain is
// calibrated so that the loudest tone the programs play peaks near -3 dBFS. Null on failure.
LoadedSynth* loadSynth(const std::string& soundfont, double rate);
void freeSynth(LoadedSynth* s);
// The calibrated full-volume gain (for reports).
float calibratedGain(const LoadedSynth* s);

// The audio thread's side. Never allocates, locks or logs.
class BuiltinSynth {
 public:
  static constexpr int kBlock = 64;

  BuiltinSynth();
  // Takes over a loaded synthesizer and replays the channel state kept so far.
  void adopt(LoadedSynth* s);
  LoadedSynth* release();
  bool ready() const { return synth_ != nullptr; }

  void shortMessage(uint32_t packed);
  void reset();                 // all notes and sounds off, every channel
  void setVolume(float fraction);  // 0..1 of full volume

  // Renders one 64-frame block into left and right; silence while no synthesizer is ready.
  void renderBlock(float* left, float* right);

 private:
  void applyVolume();

  LoadedSynth* synth_ = nullptr;
  float volume_ = 1.0f;
  int16_t program_[16];
  int16_t controller_[16][128];
};

}  // namespace taktovi
