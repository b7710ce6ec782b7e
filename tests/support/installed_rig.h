#pragma once
// A trainer's window built as the installed program builds it, on the installed directory: the
// real engine mixer (rendered offline) for WAV mode and the real program start for the switch.
// MIDI, clock, pump, error display and draws are the test bench's. Then the checks both
// programs share: start from the installed link, WAV mode with each installed sample, and the
// switch to the installed sibling.

#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/engine_mixer.h"
#include "kit/program_start.h"
#include "sound/instruments.h"
#include "support/fake_services.h"
#include "support/offline_run.h"
#include "support/processes.h"
#include "support/recording_midi_out.h"
#include "support/scripted_pump.h"
#include "support/trainer_rig.h"
#include "support/wav_builder.h"
#include "trainer/trainer_window.h"

namespace taktovi::test {

// The staged installation (prefix /usr in a DESTDIR the install checks set up).
inline fs::path installedRoot() {
  return fs::path(TAKTOVI_STAGE) / "usr";
}
inline fs::path installedDir() {
  return fs::canonical(installedRoot() / "lib/taktovi");
}

// The names a program's window gives the controls the checks use.
struct InstalledChecks {
  const char* program;
  const char* sibling;
  const char* switchItem;
  const char* soundItem;
  const char* wavButton;
  const char* statusField;
};

template <typename Window>
class InstalledRig {
 public:
  InstalledRig()
      : engine(clock, offline()),
        mixers(&engine),
        starter(installedDir().string() + "/", std::chrono::seconds(60)),  // a sanitized build starts slowly
        run(engine, clock) {
    form = std::make_unique<Window>(TrainerDeps{
        midi, mixers, installedDir().string() + "/", clock, pump, errors, starter, draws, {800, 600}});
  }
  template <typename T = QWidget>
  T* get(const char* name) const {
    return control<T>(form.get(), name);
  }
  QAction* action(const char* name) const { return menuEntry(form.get(), name); }

  TestClock clock;
  ScriptedPump pump{clock};
  RecordingMidiOut midi{{{"Synth A"}}, &clock};
  AudioEngine engine;
  EngineMixerFactory mixers;
  RecordingErrorDisplay errors;
  SiblingProgramStarter starter;
  ScriptedDraws draws;
  OfflineRun run;
  std::unique_ptr<Window> form;

 private:
  static AudioEngine::Options offline() {
    AudioEngine::Options o;
    o.output = AudioEngine::Output::Offline;
    o.soundfonts = {};  // only WAV mode sounds
    return o;
  }
};

// What a directory holds, by name.
inline std::vector<std::string> filesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Started through its link in bin/ from elsewhere, the program runs the file in lib/taktovi/
// and stays up until it is ended; it writes nothing there nor where it was started.
inline void expectStartsFromItsLink(const InstalledChecks& c) {
  TempDir elsewhere;
  const auto installed = filesIn(installedDir());
  const pid_t pid = spawnIn(installedRoot() / "bin" / c.program, elsewhere.path());
  ASSERT_GT(pid, 0);
  EXPECT_EQ(executableOf(pid), installedDir() / c.program);
  EXPECT_TRUE(waitUntilStarted(pid, 60s)) << c.program << " did not start";
  EXPECT_TRUE(terminateAndReap(pid)) << c.program << " had ended by itself";
  EXPECT_EQ(filesIn(installedDir()), installed);
  EXPECT_EQ(filesIn(elsewhere.path()), std::vector<std::string>{});
}

// WAV mode from the sound panel, then each instrument of the menu: its installed sample fills
// the buffer without an error, and a tone of it is heard from the engine.
template <typename Window, typename Sound>
void expectWavModeWithEachSample(InstalledRig<Window>& rig, const InstalledChecks& c, Sound& sound) {
  rig.action(c.soundItem)->trigger();
  QTest::mouseClick(rig.template get<QPushButton>(c.wavButton), Qt::LeftButton);
  ASSERT_EQ(rig.errors.shown, std::vector<std::string>{});
  EXPECT_EQ(rig.template get<QLineEdit>(c.statusField)->text(), "WAV MODE");
  for (const Instrument& instrument : kInstruments) {
    rig.action(instrument.item)->trigger();
    EXPECT_EQ(rig.errors.shown, std::vector<std::string>{}) << instrument.file;
    EXPECT_EQ(sound.soitintiedosto(), instrument.file);
    EXPECT_FALSE(sound.midi_tila());
    EXPECT_TRUE(sound.hasSampleBuffer()) << instrument.file;
    const int64_t t = rig.clock.nowNs() + 20'000'000;
    rig.run.runUntil(t);
    sound.aloita_savel(44100);
    rig.run.runUntil(t + 300'000'000);
    const int64_t on = rig.run.expectedFrame(t);
    const int64_t frames = 200 * rig.engine.rate() / 1000;
    EXPECT_GT(20 * std::log10(rig.run.rms(on, on + frames) + 1e-12), -30.0)
        << instrument.file << " is silent";
    sound.lopeta_savel();
  }
}

// The switch starts the sibling from the installed directory, closes this window, and the
// sibling starts up.
template <typename Window>
void expectSwitchStartsTheInstalledSibling(InstalledRig<Window>& rig, const InstalledChecks& c) {
  adoptOrphans();  // the detached sibling becomes this process's child
  rig.form->show();
  rig.action(c.switchItem)->trigger();
  ASSERT_EQ(rig.errors.shown, std::vector<std::string>{});
  EXPECT_FALSE(rig.form->isVisible());
  const pid_t pid = waitForChildProgram(30s);
  ASSERT_GT(pid, 0) << c.sibling << " was not started";
  EXPECT_EQ(executableOf(pid), installedDir() / c.sibling);
  EXPECT_TRUE(waitUntilStarted(pid, 60s)) << c.sibling << " did not start";
  EXPECT_TRUE(terminateAndReap(pid)) << c.sibling << " had ended by itself";
}

}  // namespace taktovi::test
