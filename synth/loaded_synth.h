#pragma once
// Inside the built-in synthesizer (platform only): the FluidSynth instance, the soundfont
// file behind our file callbacks, and what is loaded of each preset.

#include <fluidsynth.h>

#include <cstdint>
#include <string>
#include <vector>

#include "synth/builtin_synth.h"

namespace taktovi {

// The soundfont as our file callbacks see it. FluidSynth knows it by `name`, which leads
// back to this record (see synth_loader.cpp).
struct SoundfontFile {
  std::string path;
  SoundfontReads* reads = nullptr;
  std::string name;
};

enum class PresetState : uint8_t { Unloaded, Wanted, Pinned, Failed };

struct PresetSlot {
  int bank = 0;
  int program = 0;
  PresetState state = PresetState::Unloaded;
};

struct LoadedSynth {
  SoundfontFile file;
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  int sfontId = -1;
  // Every preset of the soundfont, allocated once by the worker; only the owner changes a state.
  std::vector<PresetSlot> presets;
  float fullGain = 0.2f;
  int64_t calibrationNs = 0;

  PresetSlot* find(int bank, int program) {
    for (PresetSlot& p : presets)
      if (p.bank == bank && p.program == program) return &p;
    return nullptr;
  }
};

}  // namespace taktovi
