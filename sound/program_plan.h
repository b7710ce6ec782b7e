#pragma once
// What the sound output plays on the built-in synthesizer, for the audio engine's options:
// the presets it loads at start and keeps (the instruments' programs and the patches
// lataa_patchit caches) and the loudest tones the sound output sends, which set the gain.

#include "platform/synth_plan.h"

namespace taktovi {

SynthPlan builtinSynthPlan();

}  // namespace taktovi
