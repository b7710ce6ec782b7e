#pragma once
// The built-in synthesizer: FluidSynth with a General MIDI soundfont, rendered by the audio
// thread in FluidSynth's own 64-frame blocks.
//
// Memory: the soundfont is opened with dynamic sample loading, so only the presets of the
// program's plan have their samples in memory. The worker thread loads them and pins them
// (fluid_synth_pin_preset) before the hand-over: selecting a pinned preset reads nothing,
// and unselecting it frees nothing.
//
// Ownership: the synthesizer has one owner at a time, never two: the worker until the
// hand-over, then the audio thread, which selects only pinned presets. A program change to
// any other preset leaves its channel without a preset (silent); before its next block the
// audio thread lends the whole synthesizer back to the worker (sounding notes end, and it
// renders silence meanwhile, about 10 ms a preset), which loads and pins the preset and
// hands it back; the kept channel state then selects it (a preset that fails to load stays
// silent). So only the worker reads the soundfont, and the audio thread never locks,
// allocates, frees, logs or waits: handing over is an atomic pointer each way, and waking
// the worker a semaphore release. The plan makes lending the exception: the programs only
// choose presets it holds.
//
// Messages that arrive while no synthesizer is there (loading, lent) are kept as channel
// state (programs, controllers, volume, preload requests) and applied when it arrives; notes
// are dropped.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/synth_plan.h"

namespace taktovi {

// The soundfonts tried, in order; the first that exists is used.
std::vector<std::string> defaultSoundfonts();
// The first candidate that exists and has a soundfont header (path empty when there is none),
// and whether a candidate exists that has none.
struct FoundSoundfont {
  std::string path;
  bool rejected = false;
};
FoundSoundfont findSoundfont(const std::vector<std::string>& candidates);

// Every open, read, seek and close FluidSynth makes on the soundfont goes through our file
// callbacks and is counted here; those made on `renderThread` are counted apart. By design
// that count stays 0.
struct SoundfontReads {
  std::atomic<uint64_t> all{0};
  std::atomic<uint64_t> onRenderThread{0};
  std::atomic<std::thread::id> renderThread{};
};
static_assert(std::atomic<std::thread::id>::is_always_lock_free,
              "the audio thread stores its id every callback");

// A FluidSynth instance with its gain for full device volume; owned by one thread at a time.
struct LoadedSynth;
// Worker thread: creates a synthesizer at `rate`, loads the soundfont's headers, loads and
// pins the plan's presets, and calibrates the gain so that the plan's loudest tone peaks
// near -3 dBFS. File access is counted in `reads`, which must outlive the synthesizer. Null
// on failure.
LoadedSynth* loadSynth(const std::string& soundfont, double rate, const SynthPlan& plan,
                       SoundfontReads& reads);
// Worker thread, on a lent synthesizer: loads and pins the presets the audio thread asked for.
void loadWantedPresets(LoadedSynth* s);
void freeSynth(LoadedSynth* s);
// Figures for reports: the calibrated full-volume gain, the time the calibration took.
float calibratedGain(const LoadedSynth* s);
int64_t calibrationNs(const LoadedSynth* s);

// The audio thread's side. Never locks, allocates, frees, logs or reads a file.
class BuiltinSynth {
 public:
  static constexpr int kBlock = 64;

  BuiltinSynth();
  // Takes over a loaded synthesizer and replays the channel state kept so far: controllers,
  // then programs (a channel never given one plays program 0 if that is loaded), then the
  // preload requests.
  void adopt(LoadedSynth* s);
  LoadedSynth* release();
  bool ready() const { return synth_ != nullptr; }

  void shortMessage(uint32_t packed);
  void reset();                    // all notes and sounds off, every channel
  void setVolume(float fraction);  // 0..1 of full volume
  // Asks for a preset to be loaded and kept, as the plan's are (patch caching).
  void preload(int bank, int program);

  // True when a preset that is not loaded has been asked for: lend the synthesizer to the
  // worker with lendForLoading(), which ends every sounding note.
  bool wantsLoad() const { return wantsLoad_; }
  LoadedSynth* lendForLoading();

  // Renders one 64-frame block into left and right; silence while no synthesizer is ready.
  void renderBlock(float* left, float* right);

 private:
  void applyVolume();
  // Selects the preset FluidSynth would choose for `program` on the channel if it is loaded;
  // otherwise the channel is left without one and, if `ask`, the preset is asked for.
  void selectProgram(int channel, int program, bool ask);

  static constexpr int kMaxPreloads = 128;

  LoadedSynth* synth_ = nullptr;
  float volume_ = 1.0f;
  bool wantsLoad_ = false;
  int16_t program_[16];
  int16_t controller_[16][128];
  uint32_t preloads_[kMaxPreloads] = {};  // bank << 7 | program, kept until a synthesizer is there
  int preloadCount_ = 0;
};

}  // namespace taktovi
