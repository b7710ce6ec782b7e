#pragma once
// A trainer's window on the test clock with recording fakes around it, and what a test
// reads of it: controls by name, menu entries, rectangles, and the tones that were sent.

#include <QAction>
#include <QMenuBar>
#include <QTest>
#include <memory>
#include <stdexcept>
#include <string>

#include "support/fake_services.h"
#include "support/recording_midi_out.h"
#include "support/recording_mixer.h"
#include "support/scripted_pump.h"
#include "support/wav_builder.h"
#include "trainer/tomapaneli.h"
#include "trainer/trainer_window.h"

namespace taktovi::test {

struct Tone {
  double on = 0;
  double off = -1;
  uint32_t word = 0;
};

// A control of a window by its name, of that type; throws when there is none.
template <typename T = QWidget>
T* control(const QWidget* window, const char* name) {
  auto* w = dynamic_cast<T*>(window->findChild<QWidget*>(name));
  if (w == nullptr) throw std::runtime_error(std::string("no control ") + name);
  return w;
}

// An entry of a window's menu bar by its name; throws when there is none.
inline QAction* menuEntry(QMainWindow* window, const char* name) {
  auto* a = window->menuBar()->findChild<QAction*>(name);
  if (a == nullptr) throw std::runtime_error(std::string("no menu entry ") + name);
  return a;
}

template <typename Window>
class TrainerRig {
 public:
  explicit TrainerRig(QSize screen = {800, 600}, std::vector<FakeDevice> devices = {{"Synth A"}})
      : midi(std::move(devices), &clock) {
    form = std::make_unique<Window>(TrainerDeps{midi, mixer, dir.path().string() + "/", clock, pump, errors,
                                                starter, draws, screen, [this] { return audio; }});
  }

  // A control of the window by its name.
  template <typename T = QWidget>
  T* get(const char* name) const {
    return control<T>(form.get(), name);
  }
  QAction* action(const char* name) const { return menuEntry(form.get(), name); }
  Tomapaneli* slot(int i) const { return get<Tomapaneli>(("paneelit" + std::to_string(i)).c_str()); }

  void keyAt(double ms, int key, QWidget* to = nullptr) {
    pump.input(
        ms, [this, key, to] { QTest::keyClick(to != nullptr ? to : form.get(), static_cast<Qt::Key>(key)); });
  }
  void clickAt(double ms, QWidget* w) {
    pump.input(ms, [w] { QTest::mouseClick(w, Qt::LeftButton); });
  }
  // Note-ons (and rests) with the all-notes-off that ended each, at their planned times, from
  // `fromMs` on.
  std::vector<Tone> tones(double fromMs = 0) const {
    std::vector<Tone> out;
    for (const auto& c : midi.calls) {
      if (c.op != "msg" || c.atMs < fromMs) continue;
      const uint32_t status = c.b & 0xF0;
      if (status == 0x90 || status == 0x80) out.push_back({c.atMs, -1, c.b});
      if (c.b == kAllNotesOff && !out.empty() && out.back().off < 0) out.back().off = c.atMs;
    }
    return out;
  }

  AudioReport audio;  // what the platform is said to have found
  TestClock clock;
  ScriptedPump pump{clock};
  RecordingMidiOut midi;
  RecordingMixer mixer;
  RecordingErrorDisplay errors;
  RecordingStarter starter;
  ScriptedDraws draws;
  TempDir dir;
  std::unique_ptr<Window> form;
};

}  // namespace taktovi::test
