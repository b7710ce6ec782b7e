#include "synth/synth_worker.h"

#include "platform/clock.h"

namespace taktovi {

SynthWorker::SynthWorker(std::string soundfont, double rate, SynthPlan plan, SoundfontReads& reads)
    : reads_(reads), thread_([this, soundfont = std::move(soundfont), rate, plan = std::move(plan)] {
        run(soundfont, rate, plan);
      }) {}

SynthWorker::~SynthWorker() {
  stopping_.store(true, std::memory_order_release);
  wake_.release();
  thread_.join();
  freeSynth(loaded_.exchange(nullptr));
  freeSynth(lent_.exchange(nullptr));
}

void SynthWorker::run(const std::string& soundfont, double rate, const SynthPlan& plan) {
  const int64_t startNs = SteadyClock().nowNs();
  LoadedSynth* s = loadSynth(soundfont, rate, plan, reads_);
  loadNs_.store(SteadyClock().nowNs() - startNs, std::memory_order_relaxed);
  if (s != nullptr) {
    fullGain_.store(taktovi::calibratedGain(s), std::memory_order_relaxed);
    calibrationNs_.store(taktovi::calibrationNs(s), std::memory_order_relaxed);
    loaded_.store(s, std::memory_order_release);
  }
  state_.store(s != nullptr ? State::Ready : State::Failed, std::memory_order_release);
  finishJob();
  if (s == nullptr) return;  // nothing will ever be lent
  for (;;) {
    wake_.acquire();
    if (LoadedSynth* lent = lent_.exchange(nullptr, std::memory_order_acquire)) {
      loadWantedPresets(lent);
      loaded_.store(lent, std::memory_order_release);
      finishJob();
    }
    if (stopping_.load(std::memory_order_acquire)) return;
  }
}

void SynthWorker::lend(LoadedSynth* s) {
  jobs_.fetch_add(1, std::memory_order_relaxed);
  lent_.store(s, std::memory_order_release);
  wake_.release();
}

void SynthWorker::finishJob() {
  jobs_.fetch_sub(1, std::memory_order_release);
  jobs_.notify_all();
}

void SynthWorker::waitIdle() const {
  for (int n = jobs_.load(std::memory_order_acquire); n != 0; n = jobs_.load(std::memory_order_acquire))
    jobs_.wait(n, std::memory_order_acquire);
}

}  // namespace taktovi
