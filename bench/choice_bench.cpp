// Figures of the choice trainer on the offscreen platform, with the real clock:
//  - start (before QApplication) to the first painted window, with the whole program stack
//  - decision lateness of the playback loop (tone ends, slot ends) and CPU during melodies
#include <sys/resource.h>

#include <QApplication>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "figures.h"
#include "support/choice_view.h"
#include "support/fake_services.h"
#include "support/recording_midi_out.h"
#include "support/scripted_pump.h"
#include "trainer_figures.h"

using namespace taktovi;

using bench::cpuSeconds;
using bench::percentile;

namespace {

void melodies(int exercises) {
  bench::RealClockWindow<ChoiceWindow, test::RecordingMidiOut> w;
  auto& clock = w.clock;
  auto& midi = w.midi;
  auto& draws = w.draws;
  auto& form = w.form;
  ChoiceTestView view{form};
  std::vector<double> lateMs;
  double busy = 0, wall = 0;
  for (int e = 0; e < exercises; ++e) {
    draws.values = {e % 28, e % 2};
    const size_t from = midi.calls.size();
    const double c0 = cpuSeconds();
    const int64_t w0 = clock.nowNs();
    view.start();
    // The 2000 ms wait before the melody is part of the exercise but not of the melody.
    const double melodyWall = (clock.nowNs() - w0) / 1e9 - 2.0;
    const int first = view.round().oikea_puoli == 0 ? 1 : 21;
    std::vector<double> kesto;
    for (int i = first; i < first + 20; ++i) {
      auto* r = dynamic_cast<Tomapaneli*>(form.findChild<QFrame*>(QString("paneelit%1").arg(i)));
      if (r == nullptr || (i > first && r->vasen == 0)) break;
      kesto.push_back(r->kesto);
    }
    const auto late = bench::decisionLateness(midi.calls, from, kesto, view.settings().aanisuhde);
    lateMs.insert(lateMs.end(), late.begin(), late.end());
    // CPU of the melody: the 2000 ms wait idles, so count it with the melody.
    busy += cpuSeconds() - c0;
    wall += melodyWall + 2.0;
    view.answer(0);
    view.answer(1);
  }
  bench::printLateness(lateMs, exercises, "melodies");
  std::printf("CPU during exercises (wait and melody): %.2f %% of a core\n", busy / wall * 100);
}

}  // namespace

int main(int argc, char** argv) {
  bench::OffscreenStart start(argc, argv);
  bench::printStartAndMemory<ChoiceWindow>(start.t0, [](ChoiceWindow& form, bool wav) {
    ChoiceTestView view{form};
    if (wav) view.sound().LuoDirectsound();
    view.start();
    view.answer(view.round().oikea_puoli);
  });
  melodies(argc > 1 ? std::atoi(argv[1]) : 12);
  return 0;
}
