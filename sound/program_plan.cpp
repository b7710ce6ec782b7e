#include "sound/program_plan.h"

#include <algorithm>

#include "sound/instruments.h"
#include "sound/sound_output.h"

namespace taktovi {

namespace {
SynthTone toneOf(uint32_t noteOn) {
  return {static_cast<int>(noteOn >> 8 & 0x7F), static_cast<int>(noteOn >> 16 & 0x7F)};
}
}  // namespace

SynthPlan builtinSynthPlan() {
  SynthPlan plan;
  for (const Instrument& i : kInstruments) plan.instruments.push_back(i.program);
  plan.presets = plan.instruments;
  plan.presets.insert(plan.presets.end(), kCachedPatches.begin(), kCachedPatches.end());
  std::sort(plan.presets.begin(), plan.presets.end());
  plan.presets.erase(std::unique(plan.presets.begin(), plan.presets.end()), plan.presets.end());
  // The pitched tones, the strong tone and the sound test's tone; the weak tone is the strong
  // tone's note, softer.
  for (int32_t note : kMidiPitches)
    plan.loudestTones.push_back(toneOf(kPitchedToneOn + 256u * static_cast<uint32_t>(note)));
  plan.loudestTones.push_back(toneOf(kStrongToneOn));
  plan.loudestTones.push_back(toneOf(kSoundTestOn));
  return plan;
}

}  // namespace taktovi
