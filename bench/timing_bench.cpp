// Figures of the timing trainer on the offscreen platform, with the real clock:
//  - judging error: from the moment a key went down (posted by another thread, as the
//    windowing system's input would arrive) to the moment the window handles it, for presses
//    aimed a few milliseconds around the answer window's edges
//  - decision lateness of the playback loop and CPU during rounds
//  - start (before QApplication) to the first painted window, with the whole program stack
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "figures.h"
#include "support/fake_services.h"
#include "support/timing_view.h"
#include "trainer_figures.h"

using namespace taktovi;

namespace {

// The recording MIDI service, telling another thread when each tone started.
class WatchedMidiOut final : public MidiOutService {
 public:
  WatchedMidiOut(std::vector<test::FakeDevice> devices, const Clock* clock)
      : rec_(std::move(devices), clock), clock_(*clock) {}
  uint32_t midiOutGetNumDevs() override { return rec_.midiOutGetNumDevs(); }
  uint32_t midiOutGetDevCaps(uint32_t id, MidiOutCaps& c) override { return rec_.midiOutGetDevCaps(id, c); }
  uint32_t midiOutOpen(HMIDIOUT& h, uint32_t id) override { return rec_.midiOutOpen(h, id); }
  uint32_t midiOutReset(HMIDIOUT h) override { return rec_.midiOutReset(h); }
  uint32_t midiOutShortMsg(HMIDIOUT h, uint32_t w) override {
    const uint32_t r = rec_.midiOutShortMsg(h, w);  // the time recorded is the call's own
    if ((w & 0xF0) == 0x90 || (w & 0xF0) == 0x80) {
      lastOnNs.store(clock_.nowNs(), std::memory_order_relaxed);
      tones.fetch_add(1, std::memory_order_release);
      tones.notify_all();
    }
    return r;
  }
  uint32_t midiOutSetVolume(uint32_t id, uint32_t v) override { return rec_.midiOutSetVolume(id, v); }
  uint32_t midiOutCachePatches(HMIDIOUT h, uint32_t b, const uint16_t* p, uint32_t f) override {
    return rec_.midiOutCachePatches(h, b, p, f);
  }
  uint32_t midiOutClose(HMIDIOUT h) override { return rec_.midiOutClose(h); }
  const std::vector<test::MidiCall>& calls() const { return rec_.calls; }

  std::atomic<int> tones{0};
  std::atomic<int64_t> lastOnNs{0};

 private:
  test::RecordingMidiOut rec_;
  const Clock& clock_;
};

// Notes when the window first sees a key press (the application's filters run newest first).
class KeyWatch final : public QObject {
 public:
  explicit KeyWatch(const Clock& clock) : clock_(clock) { qApp->installEventFilter(this); }
  ~KeyWatch() override { qApp->removeEventFilter(this); }
  int64_t seenNs = -1;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::KeyPress && seenNs < 0) seenNs = clock_.nowNs();
    return false;
  }

 private:
  const Clock& clock_;
};

void sleepUntil(int64_t steadyNs) {
  std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::nanoseconds(steadyNs)));
}

void rounds(int count) {
  bench::RealClockWindow<TimingWindow, WatchedMidiOut> w;
  auto& clock = w.clock;
  auto& midi = w.midi;
  auto& draws = w.draws;
  auto& form = w.form;
  TimingTestView view{form};
  auto* receiver = form.findChild<QPushButton*>("Button3");
  std::vector<double> judgeMs, lateMs;
  double busy = 0, wall = 0;
  int asAimed = 0;
  for (int r = 0; r < count; ++r) {
    // Task 0, 1 or 4 ("1 1 1", "4 4 4 4", "2 2h 2h 2 2"): the press aimed 3 ms before or after
    // the window's opening (70 % of the second-to-last slot) or its closing (the last tone's end).
    // A wrong answer makes the next round repeat its task.
    const int task =
        view.round().uusinta ? view.round().tehtava : std::array{0, 1, 4}[static_cast<size_t>(r % 3)];
    const int slotCount = task == 0 ? 3 : 5 - (task == 1);
    const bool atOpening = (r / 3) % 2 == 0;
    const double offsetMs = (r / 6) % 2 == 0 ? -3 : 3;
    draws.values = {task};
    const size_t from = midi.calls().size();
    const int tonesBefore = midi.tones.load();
    KeyWatch watch(clock);
    std::atomic<int64_t> pressNs{-1};
    const double aanisuhde = view.settings().aanisuhde;
    std::thread keyboard([&] {
      const int target = tonesBefore + (atOpening ? slotCount - 1 : slotCount);
      for (int n = midi.tones.load(std::memory_order_acquire); n < target;
           n = midi.tones.load(std::memory_order_acquire))
        midi.tones.wait(n, std::memory_order_acquire);
      const double after = atOpening ? 0.7 * 400 : aanisuhde * 400;
      const int64_t at =
          midi.lastOnNs.load(std::memory_order_relaxed) + static_cast<int64_t>((after + offsetMs) * 1e6);
      sleepUntil(at);
      pressNs = clock.nowNs();
      QCoreApplication::postEvent(receiver,
                                  new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " "));
    });
    const double c0 = bench::cpuSeconds();
    const int64_t w0 = clock.nowNs();
    view.start();
    keyboard.join();
    busy += bench::cpuSeconds() - c0;
    wall += static_cast<double>(clock.nowNs() - w0) / 1e9;
    if (watch.seenNs >= 0) judgeMs.push_back(static_cast<double>(watch.seenNs - pressNs) / 1e6);
    // A right press brightens the window, in a repeat as well; inside means after the opening
    // or before the closing.
    const bool inside = atOpening ? offsetMs > 0 : offsetMs < 0;
    asAimed += (form.background() == colours::lime) == inside ? 1 : 0;
    std::vector<double> kesto;
    for (int i = 1; i <= slotCount; ++i) {
      kesto.push_back(
          dynamic_cast<Tomapaneli*>(form.findChild<QFrame*>(QString("paneelit%1").arg(i)))->kesto);
    }
    const auto late = bench::decisionLateness(midi.calls(), from, kesto, view.settings().aanisuhde);
    lateMs.insert(lateMs.end(), late.begin(), late.end());
    if (getenv("TAKTOVI_BENCH_DEBUG") != nullptr)
      for (size_t i = 0; i < late.size(); ++i)
        if (late[i] > 1)
          std::printf("round %d (%s, %+.0f ms) decision %zu of %zu: %.2f ms late\n", r,
                      atOpening ? "opening" : "closing", offsetMs, i, late.size(), late[i]);
  }
  std::printf(
      "judging error (handled - pressed) over %zu presses at the window's edges: p50 %.3f ms, p99 %.3f ms, "
      "max %.3f ms\n",
      judgeMs.size(), bench::percentile(judgeMs, 0.5), bench::percentile(judgeMs, 0.99),
      *std::max_element(judgeMs.begin(), judgeMs.end()));
  bench::printLateness(lateMs, count, "rounds");
  std::printf("presses judged as aimed (3 ms inside or outside an edge): %d of %d\n", asAimed, count);
  std::printf("CPU during rounds (the 3000 ms wait included): %.2f %% of a core\n", busy / wall * 100);
}

}  // namespace

int main(int argc, char** argv) {
  bench::OffscreenStart start(argc, argv);
  QKeyEvent({}, {}, {});  // the keyboard device exists before another thread posts key events
  bench::printStartAndMemory<TimingWindow>(start.t0, [](TimingWindow& form, bool wav) {
    TimingTestView view{form};
    if (wav) view.sound().LuoDirectsound();
    view.start();
  });
  rounds(argc > 1 ? std::atoi(argv[1]) : 12);
  return 0;
}
