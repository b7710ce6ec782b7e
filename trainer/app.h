#pragma once
// Everything a trainer runs on, assembled once: clock, audio engine, MIDI and mixer services,
// event pump, error display, program start, random draws, and the program's window.

#include <QApplication>
#include <QScreen>
#include <memory>

#include "audio/audio_engine.h"
#include "audio/engine_mixer.h"
#include "audio/system_midi_out.h"
#include "kit/quit_signals.h"
#include "sound/program_plan.h"
#include "trainer/trainer_window.h"

namespace taktovi {

template <typename Window>
struct TrainerApp {
  explicit TrainerApp(QSize screen)
      : engine(clock, AudioEngine::Options{.synthPlan = builtinSynthPlan()}),
        midi(engine, openAlsaPorts()),
        mixers(&engine),
        pump(clock),
        starter(executableDirectory()),
        form(std::make_unique<Window>(TrainerDeps{midi, mixers, executableDirectory(), clock, pump, errors,
                                                  starter, draws, screen,
                                                  [&e = engine] { return e.report(); }})) {}
  SteadyClock clock;
  AudioEngine engine;
  SystemMidiOut midi;
  EngineMixerFactory mixers;
  QtEventPump pump;
  MessageBoxErrorDisplay errors;
  SiblingProgramStarter starter;
  TimeSeededDraws draws;
  std::unique_ptr<Window> form;
};

// A trainer's main: the application title, Qt's texts in German, the window on the primary
// screen, the termination signals, the event loop.
template <typename Window>
int runTrainer(int argc, char** argv, const char* applicationTitle) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(applicationTitle);
  GermanQtTexts german;
  TrainerApp<Window> trainer(QGuiApplication::primaryScreen()->geometry().size());
  // A logout, kill or Ctrl+C ends the program as EXIT does, from the event loop.
  QuitSignals quit([&trainer](int) { trainer.form->exitProgram(); });
  trainer.form->show();
  const int status = QApplication::exec();
  quit.ignoreUntilExit();  // the engine and the window still go down
  return status;
}

}  // namespace taktovi
