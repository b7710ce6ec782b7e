#pragma once
// Everything a trainer runs on, assembled once: clock, audio engine, MIDI and mixer services,
// event pump, error display, program start, random draws, and the program's window.

#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <string>

#include "audio/audio_engine.h"
#include "audio/engine_mixer.h"
#include "audio/system_midi_out.h"
#include "kit/program_start.h"
#include "kit/quit_signals.h"
#include "kit/start_messages.h"
#include "sound/program_plan.h"
#include "trainer/trainer_window.h"

namespace taktovi {

template <typename Window>
struct TrainerApp {
  // `dir`: the executable's directory, where the samples are and the other program is.
  TrainerApp(QSize screen, const std::string& dir)
      : engine(clock, AudioEngine::Options{.synthPlan = builtinSynthPlan()}),
        midi(engine, openAlsaPorts()),
        mixers(&engine),
        pump(clock),
        starter(dir),
        form(std::make_unique<Window>(TrainerDeps{midi, mixers, dir, clock, pump, errors, starter, draws,
                                                  screen, [&e = engine] { return e.report(); }})) {}
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
// screen, the termination signals, the event loop. With no desktop, a German line on standard
// error and status 1 instead. Once the window shows, the program that started this one, if it
// waits for that, hears that it is up.
template <typename Window>
int runTrainer(int argc, char** argv, const char* applicationTitle) {
  const std::string startedAs = argc > 0 ? argv[0] : "";
  const std::string dir = executableDirectory(startedAs);
  StartMessages messages(std::filesystem::path(startedAs).filename().string());
  QApplication app(argc, argv);
  messages.release();
  QApplication::setApplicationName(applicationTitle);
  GermanQtTexts german;
  TrainerApp<Window> trainer(QGuiApplication::primaryScreen()->geometry().size(), dir);
  // A logout, kill or Ctrl+C ends the program as EXIT does, from the event loop.
  QuitSignals quit([&trainer](int) { trainer.form->exitProgram(); });
  trainer.form->show();
  QTimer::singleShot(0, [] { reportStarted(); });
  const int status = QApplication::exec();
  quit.ignoreUntilExit();  // the engine and the window still go down
  return status;
}

}  // namespace taktovi
