#pragma once
// Everything the choice trainer runs on, assembled once: clock, audio engine, MIDI and
// mixer services, event pump, error display, program start, random draws, and the window.

#include <memory>

#include "choice/tform1.h"
#include "platform/audio_engine.h"
#include "platform/engine_mixer.h"
#include "platform/system_midi_out.h"

namespace taktovi {

struct ChoiceApp {
  explicit ChoiceApp(QSize screen);
  SteadyClock clock;
  AudioEngine engine;
  SystemMidiOut midi;
  EngineMixerFactory mixers;
  QtEventPump pump;
  MessageBoxErrorDisplay errors;
  SiblingProgramStarter starter;
  TimeSeededChooser chooser;
  std::unique_ptr<TForm1> form;
};

}  // namespace taktovi
