#pragma once
// A choice-trainer window on the test clock with recording fakes around it.

#include <QTest>
#include <memory>

#include "choice/tform1.h"
#include "support/fake_services.h"
#include "support/recording_midi_out.h"
#include "support/recording_mixer.h"
#include "support/scripted_pump.h"
#include "support/wav_builder.h"

namespace taktovi::test {

struct Tone {
  double on = 0;
  double off = -1;
  uint32_t word = 0;
};

class ChoiceRig {
 public:
  explicit ChoiceRig(QSize screen = {800, 600}, std::vector<FakeDevice> devices = {{"Synth A"}})
      : midi(std::move(devices), &clock) {
    form = std::make_unique<TForm1>(ChoiceDeps{{Program::Choice, midi, mixer, clock, dir.path().string() + "/"},
                                               clock, pump, errors, starter, chooser, screen});
  }

  // Schedules the start key at `ms`, with the pair and side the draws will give.
  void startAt(double ms, int pair, int side, int key = Qt::Key_Right) {
    chooser.values.push_back(pair);
    chooser.values.push_back(side);
    pump.input(ms, [this, key] { QTest::keyClick(form.get(), static_cast<Qt::Key>(key)); });
  }
  void clickAt(double ms, QWidget* w) {
    pump.input(ms, [w] { QTest::mouseClick(w, Qt::LeftButton); });
  }
  // Note-ons (and rests) with the all-notes-off that ended each, from `fromMs` on.
  std::vector<Tone> tones(double fromMs = 0) const {
    std::vector<Tone> out;
    for (const auto& c : midi.calls) {
      if (c.op != "msg" || c.timeMs < fromMs) continue;
      const uint32_t status = c.b & 0xF0;
      if (status == 0x90 || status == 0x80) out.push_back({c.timeMs, -1, c.b});
      if (c.b == kAllNotesOff && !out.empty() && out.back().off < 0) out.back().off = c.timeMs;
    }
    return out;
  }
  Tomapaneli* slot(int i) const { return form->paneelit[i]; }

  TestClock clock;
  ScriptedPump pump{clock};
  RecordingMidiOut midi;
  RecordingMixer mixer;
  RecordingErrorDisplay errors;
  RecordingStarter starter;
  ScriptedChooser chooser;
  TempDir dir;
  std::unique_ptr<TForm1> form;
};

}  // namespace taktovi::test
