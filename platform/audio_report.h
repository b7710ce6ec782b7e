#pragma once
// What the sound output stands on, as a user must be told when it is missing.

namespace taktovi {

struct AudioReport {
  // The built-in synthesizer's soundfont: usable, none found, or one found that cannot be
  // used (no soundfont header, or it failed to load).
  enum class Soundfont { Usable, Missing, Unusable };
  bool output = true;  // an audio output device is open
  Soundfont soundfont = Soundfont::Usable;
};

}  // namespace taktovi
