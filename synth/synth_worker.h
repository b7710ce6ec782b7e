#pragma once
// The audio thread's helper for the built-in synthesizer: one thread that loads the soundfont
// at start and, afterwards, the presets the audio thread asks for, so that the audio thread
// itself never reads a file, allocates or waits.
//
// The synthesizer passes between the two threads through two slots, an atomic pointer each
// way; whoever takes it out of a slot owns it. The audio thread takes a loaded synthesizer
// with takeLoaded() and hands one back for more presets with lend(), which wakes the worker
// (a semaphore release). The worker ends with this object.

#include <atomic>
#include <cstdint>
#include <semaphore>
#include <string>
#include <thread>

#include "platform/synth_plan.h"
#include "synth/builtin_synth.h"

namespace taktovi {

class SynthWorker {
 public:
  enum class State { Loading, Ready, Failed };

  // Starts loading `soundfont` for output at `rate` with the presets of `plan`. The file
  // accesses are counted in `reads`, which must outlive this object.
  SynthWorker(std::string soundfont, double rate, SynthPlan plan, SoundfontReads& reads);
  ~SynthWorker();
  SynthWorker(const SynthWorker&) = delete;
  SynthWorker& operator=(const SynthWorker&) = delete;

  // --- audio thread ---
  // A synthesizer the worker has finished with, or null.
  LoadedSynth* takeLoaded() { return loaded_.exchange(nullptr, std::memory_order_acq_rel); }
  // Hands a synthesizer back to load the presets it was asked for.
  void lend(LoadedSynth* s);

  // --- any thread ---
  State state() const { return state_.load(std::memory_order_acquire); }
  // Waits until the worker has nothing to do: the soundfont and every lent synthesizer's
  // presets loaded.
  void waitIdle() const;
  // How long the first load took (from construction), the calibration's share of it, and the
  // gain the calibration found for full volume.
  int64_t loadNs() const { return loadNs_.load(std::memory_order_relaxed); }
  int64_t calibrationNs() const { return calibrationNs_.load(std::memory_order_relaxed); }
  float fullGain() const { return fullGain_.load(std::memory_order_relaxed); }

 private:
  void run(const std::string& soundfont, double rate, const SynthPlan& plan);
  void finishJob();

  SoundfontReads& reads_;
  std::counting_semaphore<> wake_{0};  // a synthesizer was lent, or the worker is to end
  std::atomic<bool> stopping_{false};
  std::atomic<LoadedSynth*> loaded_{nullptr};  // worker -> audio thread
  std::atomic<LoadedSynth*> lent_{nullptr};    // audio thread -> worker
  mutable std::atomic<int> jobs_{1};           // loads begun and not yet handed over
  std::atomic<State> state_{State::Loading};
  std::atomic<int64_t> loadNs_{0};
  std::atomic<int64_t> calibrationNs_{0};
  std::atomic<float> fullGain_{0};
  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace taktovi
