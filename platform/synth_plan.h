#pragma once
// What the built-in synthesizer is to hold, given by the program that uses it: the presets
// whose samples are loaded at start and kept, and the tones whose loudest peak sets the gain.

#include <vector>

namespace taktovi {

struct SynthTone {
  int note;
  int velocity;
};

struct SynthPlan {
  std::vector<int> presets;             // programs of bank 0: loaded before the hand-over, never unloaded
  std::vector<int> instruments;         // the programs the gain is calibrated over (loaded as well)
  std::vector<SynthTone> loudestTones;  // each played with each instrument at full channel volume;
                                        // at full device volume the loudest peaks near -3 dBFS
};

}  // namespace taktovi
