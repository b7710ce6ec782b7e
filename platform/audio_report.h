#pragma once
// What the sound output stands on, as a user must be told when it is missing.

namespace taktovi {

struct AudioReport {
  // The built-in synthesizer's soundfont: usable, none found, or one found that cannot be
  // used (no soundfont header, or it failed to load).
  enum class Soundfont { Usable, Missing, Unusable };
  bool output = true;  // an audio output device is open and plays what it is given
  Soundfont soundfont = Soundfont::Usable;
  bool synthLoaded = true;  // the built-in synthesizer has loaded its soundfont and plays
};

}  // namespace taktovi
