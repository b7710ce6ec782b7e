#pragma once
// What the sound output stands on, as a user must be told when it is missing.

namespace taktovi {

struct AudioReport {
  bool output = true;     // an audio output device is open
  bool soundfont = true;  // the built-in synthesizer has a soundfont
};

}  // namespace taktovi
