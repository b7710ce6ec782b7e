// Figures of the timing trainer on the offscreen platform, with the real clock:
//  - judging error: from the moment a key went down (posted by another thread, stamped with the
//    moment it is aimed at, as the windowing system stamps a key) to the moment the window judges
//    it at, for presses aimed a few milliseconds around the answer window's edges, while the UI
//    thread is held busy for a second just before half of them
//  - how far the tones' planned times, handed over at each melody's start, lie from the slot grid
//    through those stalls; CPU during rounds
//  - start (before QApplication) to the first painted window, with the whole program stack
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "figures.h"
#include "support/fake_services.h"
#include "support/timing_view.h"
#include "trainer_figures.h"

using namespace taktovi;

namespace {

// The recording MIDI service, which schedules as the built-in synthesizer does (a melody is
// handed over at its start), telling another thread when each tone is planned to start.
class WatchedMidiOut final : public MidiOutService {
 public:
  WatchedMidiOut(std::vector<test::FakeDevice> devices, const Clock* clock)
      : rec_(std::move(devices), clock), clock_(*clock) {}
  uint32_t midiOutGetNumDevs() override { return rec_.midiOutGetNumDevs(); }
  uint32_t midiOutGetDevCaps(uint32_t id, MidiOutCaps& c) override { return rec_.midiOutGetDevCaps(id, c); }
  uint32_t midiOutOpen(HMIDIOUT& h, uint32_t id) override { return rec_.midiOutOpen(h, id); }
  uint32_t midiOutReset(HMIDIOUT h) override { return rec_.midiOutReset(h); }
  int64_t heardLatencyNs(HMIDIOUT h) const override { return rec_.heardLatencyNs(h); }
  bool schedulesAhead(HMIDIOUT h) const override { return rec_.schedulesAhead(h); }
  void cancelScheduled(HMIDIOUT h) override { rec_.cancelScheduled(h); }
  uint32_t midiOutSetVolume(uint32_t id, uint32_t v) override { return rec_.midiOutSetVolume(id, v); }
  uint32_t midiOutCachePatches(HMIDIOUT h, uint32_t b, const uint16_t* p, uint32_t f) override {
    return rec_.midiOutCachePatches(h, b, p, f);
  }
  uint32_t midiOutClose(HMIDIOUT h) override { return rec_.midiOutClose(h); }
  const std::vector<test::MidiCall>& calls() const { return rec_.calls; }

  std::atomic<int> tones{0};
  std::array<std::atomic<int64_t>, 4096> onNs{};  // each tone's planned start, in the order sent

 protected:
  uint32_t shortMsg(HMIDIOUT h, uint32_t w, int64_t atNs) override {
    const uint32_t r = rec_.midiOutShortMsg(h, w, atNs);
    if ((w & 0xF0) == 0x90 || (w & 0xF0) == 0x80) {
      const auto n = static_cast<size_t>(tones.load(std::memory_order_relaxed));
      if (n < onNs.size()) onNs[n].store(atNs != kNow ? atNs : clock_.nowNs(), std::memory_order_relaxed);
      tones.fetch_add(1, std::memory_order_release);
      tones.notify_all();
    }
    return r;
  }

 private:
  test::RecordingMidiOut rec_;
  const Clock& clock_;
};

// Holds the UI thread busy for a second when it is handled, as a swap storm, a compositor's
// hiccup or another program would.
class BusyEvent final : public QEvent {
 public:
  static constexpr QEvent::Type kType = static_cast<QEvent::Type>(QEvent::User + 7);
  BusyEvent() : QEvent(kType) {}
};
class BusyReceiver final : public QObject {
 protected:
  bool event(QEvent* e) override {
    if (e->type() != BusyEvent::kType) return QObject::event(e);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
    while (std::chrono::steady_clock::now() < until) {
    }
    return true;
  }
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
  std::vector<double> judgeMs;
  double busy = 0, wall = 0;
  int asAimed = 0, heldCount = 0;
  double plannedOffMs = 0;
  BusyReceiver busyReceiver;
  auto& busyTarget = busyReceiver;
  std::mt19937 rng(7);
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
    std::atomic<int64_t> pressNs{-1};
    const double aanisuhde = view.settings().aanisuhde;
    const bool held = rng() % 2 == 0;
    const auto heldBefore = std::chrono::milliseconds(rng() % 25);
    std::thread keyboard([&] {
      const int target = tonesBefore + (atOpening ? slotCount - 1 : slotCount);
      for (int n = midi.tones.load(std::memory_order_acquire); n < target;
           n = midi.tones.load(std::memory_order_acquire))
        midi.tones.wait(n, std::memory_order_acquire);
      const double after = atOpening ? 0.7 * 400 : aanisuhde * 400;
      // The tone's planned time plus the heard latency of the fake (0): the press aimed at it, a
      // whole millisecond, as the windowing system stamps a key.
      const int64_t at = (midi.onNs[static_cast<size_t>(target - 1)].load(std::memory_order_relaxed) +
                          static_cast<int64_t>((after + offsetMs) * 1e6)) /
                         1'000'000 * 1'000'000;
      if (held) {  // the UI thread is busy from shortly before the press
        sleepUntil(at - std::chrono::nanoseconds(heldBefore).count());
        QCoreApplication::postEvent(&busyTarget, new BusyEvent);
      }
      sleepUntil(at);
      // Stamped with the moment it is aimed at, however late this thread posts it: the figures
      // measure the judge.
      pressNs = at;
      auto* press = new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
      press->setTimestamp(static_cast<uint32_t>(at / 1'000'000));
      QCoreApplication::postEvent(receiver, press);
    });
    const double c0 = bench::cpuSeconds();
    const int64_t w0 = clock.nowNs();
    view.start();
    keyboard.join();
    busy += bench::cpuSeconds() - c0;
    wall += static_cast<double>(clock.nowNs() - w0) / 1e9;
    if (view.round().painallus)
      judgeMs.push_back(static_cast<double>(*view.round().painallus - pressNs) / 1e6);
    heldCount += held ? 1 : 0;
    // A right press brightens the window, in a repeat as well; inside means after the opening
    // or before the closing.
    const bool inside = atOpening ? offsetMs > 0 : offsetMs < 0;
    asAimed += (form.background() == colours::lime) == inside ? 1 : 0;
    std::vector<double> kesto;
    for (int i = 1; i <= slotCount; ++i) {
      kesto.push_back(
          dynamic_cast<Tomapaneli*>(form.findChild<QFrame*>(QString("paneelit%1").arg(i)))->kesto);
    }
    for (double p : bench::decisionLateness(midi.calls(), from, kesto, view.settings().aanisuhde, true))
      plannedOffMs = std::max(plannedOffMs, std::fabs(p));
  }
  std::vector<double> absMs;
  for (double j : judgeMs) absMs.push_back(std::fabs(j));
  std::printf(
      "judging error (judged - pressed) over %zu presses at the window's edges, %d of them handled while the "
      "UI thread was held busy 1 s: p50 %.3f ms, p99 of |error| %.3f ms, max %.3f ms\n",
      judgeMs.size(), heldCount, bench::percentile(judgeMs, 0.5), bench::percentile(absMs, 0.99),
      *std::max_element(absMs.begin(), absMs.end()));
  std::printf(
      "times the tones were planned for (handed over at each melody's start), against the slot grid: largest "
      "difference %.3f ms\n",
      plannedOffMs);
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
