#pragma once
// One audio output for the whole program: the built-in synthesizer plus the one WAV-mode
// sample buffer, mixed by an SDL2 callback thread (or rendered offline for tests).
//
// Commands go from the UI thread to the audio thread through a lock-free queue. Each
// carries the steady-clock time of its call (or the time it is planned for); the callback
// applies it at the output frame for that time plus one constant latency, so onsets are
// sample-accurate (the synthesizer, which renders at twice the output rate in 64-frame blocks:
// to its nearest 32 output frames) and the delay does not wander.
//
// A full queue refuses the newest command: the call returns at once, the command is lost
// and counted in droppedCommands(). The queue holds kQueueCapacity commands, far more than
// the programs ever send at once (a tone is at most four, its end one fade).
//
// The device comes and goes (output_device.h opens it again when it is lost, and opens one
// that was missing at start). Everything the program sets (synthesizer programs, controllers,
// volume, presets, the sample) lives here, not in the device, and stays across a reopen; with
// no output, commands still take effect, silently. The rate is fixed once the engine is
// constructed: a later device at another rate gets SDL's converter. On a sound server the
// stream is named outputStreamName(), "taktovi <pid>" (this process's id), set as
// SDL_HINT_AUDIO_DEVICE_STREAM_NAME before every open: find the stream by it.
//
// Tones stay in time: a tone start (a note-on, a sample restart, a rise of the sample's gain)
// whose frame is more than kStaleNs past when the audio thread reaches it (its callbacks had
// stopped), or meant for before the device was open and settled, is lost, never played late.
// Every other command (programs, controllers, volumes, note-offs, publish, retire) still applies.
//
// The built-in synthesizer holds the presets of the program's plan (Options::synthPlan);
// builtin_synth.h tells how it loads others without reading a file on the audio thread, and
// synth_worker.h the helper thread that does the loading. It loads once something renders:
// at start, or when the first output opens.

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "audio/halfband.h"
#include "audio/output_device.h"
#include "audio/sample_voice.h"
#include "audio/server_latency.h"
#include "audio/spsc_queue.h"
#include "audio/timed_commands.h"
#include "audio/timeline.h"
#include "platform/audio_report.h"
#include "platform/clock.h"
#include "synth/builtin_synth.h"
#include "synth/synth_worker.h"

namespace taktovi {

struct AudioCommand {
  enum class Kind : uint8_t {
    Midi,
    SynthReset,
    SynthVolume,
    SynthPreload,
    SamplePublish,
    SampleRetire,
    SamplePlay,
    SamplePosition,
    SampleRate,
    SampleGain,
    SampleFade,
    Cancel,  // value: kCancelSynth and/or kCancelSample
  };
  static constexpr uint32_t kCancelSynth = 1;
  static constexpr uint32_t kCancelSample = 2;
  Kind kind = Kind::Midi;
  int64_t timeNs = 0;
  uint32_t value = 0;
  float gain = 0;
  const SampleBuffer* buffer = nullptr;
  bool planned = false;  // handed over for a planned time, not given at the time of its call
};

class AudioEngine {
 public:
  enum class Output { Device, Offline };
  struct Options {
    Output output = Output::Device;
    int rate = 48000;  // asked of the device; offline, the rate used
    // Frames per callback. A sound server (PulseAudio, PipeWire) sizes its buffering to it
    // (stream buffer plus sink, 43 to 53 ms at 48 kHz), which holds without dropouts on a
    // busy two-core machine; the delay this adds is in heardLatencyNs().
    int period = 2048;
    std::vector<std::string> soundfonts = defaultSoundfonts();
    bool loadSynth = true;
    SynthPlan synthPlan;  // what the synthesizer holds; empty: silent until programs are chosen
  };
  static constexpr size_t kQueueCapacity = 16384;
  // A tone start reached later than this is lost: half the shortest slot of a melody (a half
  // beat at the fastest tempo, 100 ms), so it could not be heard with its own slot.
  static constexpr int64_t kStaleNs = 50'000'000;
  // A new device's first periods, while its callbacks come in a burst or late (the server fills
  // its buffer, starts its graph), map to no reliable time: a tone meant for them is lost.
  static constexpr int kSettlingPeriods = 3;

  AudioEngine(const Clock& clock, Options options);
  ~AudioEngine();
  AudioEngine(const AudioEngine&) = delete;
  AudioEngine& operator=(const AudioEngine&) = delete;

  // --- UI thread ---
  // Commands act now, or at steady-clock time `atNs` where one is given (a melody's planned
  // tone, handed over ahead of its time, up to a melody's length): at the frame for that time
  // plus latencyNs(). One meant for an earlier time acts at once. Commands act in the order of
  // their times, those of one time in the order they were given.
  void midi(uint32_t packed, int64_t atNs = kNow) { send(timed(AudioCommand::Kind::Midi, atNs, packed)); }
  // Nothing handed over for a time after now acts any more: of the synthesizer's messages, of the
  // sample's commands, or both.
  void cancelPlanned(uint32_t which) {
    send({AudioCommand::Kind::Cancel, clock_.nowNs(), which, 0, nullptr});
  }
  void synthReset() { send({AudioCommand::Kind::SynthReset, clock_.nowNs(), 0, 0, nullptr}); }
  void synthVolume(float fraction) {
    send({AudioCommand::Kind::SynthVolume, clock_.nowNs(), 0, fraction, nullptr});
  }
  // Loads a preset and keeps it (patch caching); nothing to do for the plan's presets.
  void synthPreload(int bank, int program) {
    send({AudioCommand::Kind::SynthPreload, clock_.nowNs(),
          static_cast<uint32_t>(bank << 7 | (program & 0x7F)), 0, nullptr});
  }

  // The sample buffer: publish hands it to the audio thread (which plays nothing of it until
  // told); retire takes it back, and it is freed here once the audio thread lets go.
  // Publishing a new buffer puts the previous one out of play.
  const SampleBuffer* publishSample(std::unique_ptr<SampleBuffer> buffer);
  void retireSample(const SampleBuffer* buffer);
  // The buffer last published and not retired; commands play it.
  const SampleBuffer* currentSample() const { return current_; }
  void samplePlay(bool looping) {
    send({AudioCommand::Kind::SamplePlay, clock_.nowNs(), looping, 0, nullptr});
  }
  void samplePosition(uint32_t frame, int64_t atNs = kNow) {
    send(timed(AudioCommand::Kind::SamplePosition, atNs, frame));
  }
  void sampleRate(uint32_t hz, int64_t atNs = kNow) { send(timed(AudioCommand::Kind::SampleRate, atNs, hz)); }
  void sampleGain(float linear, int64_t atNs = kNow) {
    send(timed(AudioCommand::Kind::SampleGain, atNs, 0, linear));
  }
  // The end of a tone: the sample's gain falls to silence over SampleVoice::kFadeSeconds.
  void sampleFade(int64_t atNs = kNow) { send(timed(AudioCommand::Kind::SampleFade, atNs)); }

  // True while a usable soundfont exists: from start-up on (the file is checked at once; it
  // loads meanwhile), false only when there is none or it failed to load.
  bool synthAvailable() const { return soundfontState() == AudioReport::Soundfont::Usable; }
  // The same, telling a missing soundfont from one that cannot be used.
  AudioReport::Soundfont soundfontState() const;
  // Waits until the worker has nothing to do: the soundfont is loaded, and so is every preset
  // the audio thread has asked for so far (tests, benchmarks).
  void waitForSynth();

  // An output device is open now.
  bool hasDevice() const { return output_ != nullptr && output_->isOpen(); }
  // What a tone started now would meet: an output open past its first settling periods (offline
  // rendering counts as one), a usable soundfont, the built-in synthesizer loaded.
  AudioReport report() const;
  bool isOffline() const { return offline_; }
  int rate() const { return rate_; }
  int period() const { return period_; }
  // From a call to the output frame it acts on: the engine's own scheduling latency, one period
  // (a callback wakes no earlier than the time of the first frame it renders) and a safety of
  // 2 ms. What a melody needs beyond it to survive the UI thread's stalls it gets by being
  // handed over ahead.
  int64_t latencyNs() const { return latencyNs_; }
  // From a call (a note-on, a sample command) to the moment it is heard: the scheduling
  // latency plus what the sound server holds ahead of the listener, as the server tells while
  // the program plays (server_latency.h); where it cannot (no PulseAudio or PipeWire server,
  // another SDL driver, the stream not found) a period of the device's is assumed. Offline, or
  // before a device has opened, a rendered frame counts as heard. Any thread; it may change
  // while the program runs (a reopened output, the server's own changes).
  int64_t heardLatencyNs() const;
  // The sound server tells its part of heardLatencyNs() now (not assumed).
  bool heardLatencyFromServer() const { return server_ != nullptr && server_->ns() > 0; }

  // What tests and benchmarks read of the engine at work. Counts run from the start; the
  // largest wake-up error is the one since the last call.
  struct Stats {
    uint64_t droppedCommands = 0;  // refused by a full queue
    uint64_t lateCommands = 0;     // applied after their frame had been rendered
    uint64_t staleCommands = 0;    // tone starts lost: reached too late, or with no output open
    int64_t framesRendered = 0;    // by the callback, or offline
    // How far callbacks woke from the engine's timeline (wake-up jitter).
    uint64_t callbacks = 0;
    double sumSquaredErrorNs = 0;
    double maxAbsErrorNs = 0;
    // The built-in synthesizer: how long after the engine's start it was ready, the
    // calibration's share, the gain for full volume; the soundfont's file operations so far,
    // and those made on the thread that renders (by design none).
    int64_t synthLoadNs = 0;
    int64_t synthCalibrationNs = 0;
    float synthFullGain = 0;
    uint64_t soundfontReads = 0;
    uint64_t soundfontReadsOnRenderThread = 0;
  };
  Stats stats() const;

  // --- offline rendering (Output::Offline) ---
  // Renders `frames` stereo frames as a callback waking at the clock's current time, or at
  // `callbackNs`; interleaved L/R floats.
  std::vector<float> render(int frames);
  std::vector<float> renderAt(int64_t callbackNs, int frames);

  // --- audio thread ---
  void renderInto(float* out, int frames, int64_t callbackNs);

 private:
  void send(const AudioCommand& c);
  AudioCommand timed(AudioCommand::Kind kind, int64_t atNs, uint32_t value = 0, float gain = 0) const {
    return {kind, atNs == kNow ? clock_.nowNs() : atNs, value, gain, nullptr, atNs != kNow};
  }
  void cancel(const AudioCommand& c);
  int64_t periodNs() const { return static_cast<int64_t>(period_) * 1'000'000'000 / rate_; }
  void setFormat(const OutputFormat& f);
  void startSynth();
  SynthWorker* worker() const { return worker_.load(std::memory_order_acquire); }
  void collectRetired();
  int64_t targetFrame(int64_t timeNs) const { return timeline_.frameAt(timeNs + latencyNs_); }
  void noteWakeUp(int64_t callbackNs);
  bool startsSound(const AudioCommand& c) const;
  // A tone start meant for a frame before `earliest` is lost, never played late (counted); so
  // is every one while no output is open (kNoFrameIsOnTime).
  static constexpr int64_t kNoFrameIsOnTime = std::numeric_limits<int64_t>::max();
  bool lostStart(const AudioCommand& c, int64_t frame, int64_t earliest);
  void adoptLoadedSynth();
  void lendIfWanted();
  void renderSynthBlock(int64_t here, int64_t earliest);
  void renderSample(float* out, int frames, int64_t here, int64_t earliest);
  void applySynth(const AudioCommand& c);
  void applySample(const AudioCommand& c);
  void drainQueue();
  // Output device hooks (output_device.h).
  bool prepareOutput(const OutputFormat& got, bool starting);
  void applyWithoutOutput();

  const Clock& clock_;
  bool offline_ = false;
  int rate_ = 48000;
  int period_ = 256;
  int64_t latencyNs_ = 0;
  int64_t staleFrames_ = 0;
  std::atomic<int64_t> deviceLatencyNs_{0};  // assumed where the server cannot tell
  std::unique_ptr<ServerLatency> server_;
  uint64_t dropped_ = 0;                             // UI thread only
  std::vector<std::unique_ptr<SampleBuffer>> held_;  // published, not yet returned (UI thread)
  const SampleBuffer* current_ = nullptr;

  SpscQueue<AudioCommand> queue_{kQueueCapacity};
  SpscQueue<const SampleBuffer*> returned_{64};

  // The soundfont and its loader. The loader starts once something renders (owned here; set
  // once, by the output's watcher when the first device opens after construction).
  std::string soundfont_;
  bool soundfontRejected_ = false;  // a candidate exists that is no soundfont
  bool loadSynth_ = true;
  SynthPlan synthPlan_;
  SoundfontReads reads_;
  std::atomic<SynthWorker*> worker_{nullptr};

  // Audio thread state (the output's watcher thread's while no device is open).
  BuiltinSynth synth_;
  SampleVoice voice_{48000};
  TimedCommands<AudioCommand> midiPending_;
  TimedCommands<AudioCommand> samplePending_;
  // The synthesizer's last block, brought down to the output rate.
  static constexpr int kSynthBlock = BuiltinSynth::kBlock / 2;
  HalfbandDecimator decimator_;
  float synthL_[kSynthBlock] = {};
  float synthR_[kSynthBlock] = {};
  int synthUsed_ = kSynthBlock;
  int64_t frame_ = 0;  // first frame of the next block
  // The current device's first steady frame: no tone starts before it. Set while the device
  // is paused; the UI thread reads it to tell whether the output plays yet.
  std::atomic<int64_t> steadyFrom_{0};
  int64_t lastWakeNs_ = 0;
  bool playing_ = false;  // a device has played since applyWithoutOutput() last ran
  Timeline timeline_{48000};
  bool realtimeChecked_ = false;  // the callback thread's class was seen to (this device's)
  std::atomic<uint64_t> late_{0};
  std::atomic<uint64_t> stale_{0};
  std::atomic<int64_t> rendered_{0};
  std::atomic<uint64_t> statCount_{0};
  mutable std::atomic<double> statMaxErr_{0};  // reset by each read of the stats
  std::atomic<double> statSumSq_{0};

  // Last: its watcher calls into everything above.
  std::unique_ptr<OutputDevice> output_;
};

}  // namespace taktovi
