#pragma once
// What the trainers' benchmarks measure alike: start to the first painted window, and how late
// the playback loop took its decisions.

#include <QApplication>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "figures.h"
#include "support/fake_services.h"
#include "support/recording_midi_out.h"
#include "trainer/app.h"

namespace taktovi::bench {

// A benchmark's start: the time the process began, then the application on the offscreen
// platform with SDL's dummy driver (unless the environment says otherwise).
struct OffscreenStart {
  OffscreenStart(int& argc, char** argv) : app((prepare(), argc), argv) {}
  const std::chrono::steady_clock::time_point t0 = std::chrono::steady_clock::now();
  QApplication app;

 private:
  static void prepare() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
  }
};

// How late the playback loop's decisions came, over `count` melodies.
inline void printLateness(const std::vector<double>& lateMs, int count, const char* melodies) {
  std::printf(
      "playback decisions: %zu over %d %s (isku 400 ms); lateness p50 %.3f ms, p99 %.3f ms, max %.3f ms\n",
      lateMs.size(), count, melodies, percentile(lateMs, 0.5), percentile(lateMs, 0.99),
      *std::max_element(lateMs.begin(), lateMs.end()));
}

// Notes when a widget is first painted.
class FirstPaint final : public QObject {
 public:
  explicit FirstPaint(QWidget* w) { w->installEventFilter(this); }
  explicit operator bool() const { return painted_; }

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    painted_ = painted_ || e->type() == QEvent::Paint;
    return false;
  }

 private:
  bool painted_ = false;
};

// A window on the real clock and the real event pump, with recording stand-ins for the MIDI
// device (of type Midi, made like the recording one) and the services, shown, at a beat of 400 ms so
// that a second holds many decisions. The device takes each message at its turn, so its record
// shows how late the turns came.
template <typename Window, typename Midi>
struct RealClockWindow {
  RealClockWindow() {
    if constexpr (requires { midi.schedules; }) midi.schedules = false;
    form.show();
    QCoreApplication::processEvents();
    form.template findChild<QScrollBar*>("ScrollBar1")->setValue(1600);
  }
  SteadyClock clock;
  Midi midi{{{"Synth"}}, &clock};
  EngineMixerFactory noMixer{nullptr};
  QtEventPump pump{clock};
  test::RecordingErrorDisplay errors;
  test::RecordingStarter starter;
  test::ScriptedDraws draws;
  Window form{{midi, noMixer, "./", clock, pump, errors, starter, draws, {1024, 768}}};
};

// The whole program stack (offscreen, SDL's dummy driver): from `t0`, the process's start, to
// the first painted window; then its resident memory once the soundfont is ready, after a
// round in MIDI mode and after one in WAV mode (`round(window, wavMode)` plays one).
template <typename Window, typename Round>
void printStartAndMemory(std::chrono::steady_clock::time_point t0, Round round) {
  TrainerApp<Window> trainer({1024, 768}, executableDirectory({}));
  FirstPaint painted(trainer.form->centralWidget());
  trainer.form->show();
  while (!painted) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  std::printf("start to first painted window (whole program, offscreen, SDL dummy): %.1f ms\n", ms);
  trainer.engine.waitForSynth();
  const double started = residentMb();
  round(*trainer.form, false);
  const double midi = residentMb();
  round(*trainer.form, true);
  std::printf(
      "resident memory of the whole program: %.1f MB after start, %.1f MB after a round in MIDI mode, "
      "%.1f MB after one in WAV mode\n",
      started, midi, residentMb());
}

// How late each tone end and each next tone came against its millisecond deadline ("strictly
// later than" its span), for the melody recorded from call `from` on, whose slots last `kesto`:
// the calls themselves, or (`planned`) the times the calls were meant for.
inline std::vector<double> decisionLateness(const std::vector<test::MidiCall>& calls, size_t from,
                                            const std::vector<double>& kesto, double aanisuhde,
                                            bool planned = false) {
  std::vector<std::pair<double, double>> tones;  // on, off (ms)
  for (size_t i = from; i < calls.size(); ++i) {
    const auto& c = calls[i];
    if (c.op != "msg") continue;
    const uint32_t st = c.b & 0xF0;
    const double t = planned ? c.atMs : c.timeMs;
    if (st == 0x90 || st == 0x80) tones.push_back({t, -1});
    if (c.b == kAllNotesOff && !tones.empty() && tones.back().second < 0) tones.back().second = t;
  }
  std::vector<double> late;
  for (size_t i = 0; i < tones.size() && i < kesto.size(); ++i) {
    const double start = std::floor(tones[i].first);
    late.push_back(tones[i].second - (start + std::floor(kesto[i] * aanisuhde) + 1));
    if (i + 1 < tones.size()) late.push_back(tones[i + 1].first - (start + std::floor(kesto[i]) + 1));
  }
  return late;
}

}  // namespace taktovi::bench
