#include "audio/audio_engine.h"

#include <SDL.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace taktovi {

namespace {

// Beyond the period a command needs to reach the callback that renders its frame: a melody's
// first tone is planned for the whole millisecond its call falls in (up to 1 ms before the
// call), and the timeline's grid is known to a fraction of a millisecond. Without it 13 of 100
// messages of a melody were applied a block late through PulseAudio, with it 1 (audio_path.sh).
constexpr int64_t kScheduleSafetyNs = 2'000'000;

// Real-time, below a sound server's own threads (PulseAudio's run at 5).
constexpr int kAudioThreadPriority = 4;

// SDL asks for a real-time class through RealtimeKit only; where that is missing but the
// process may take one itself (root, or an RLIMIT_RTPRIO), the callback thread takes it here.
void ensureRealtime() {
  const int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
  if (policy == SCHED_FIFO || policy == SCHED_RR) return;
  sched_param p{};
  p.sched_priority = kAudioThreadPriority;
  sched_setscheduler(0, SCHED_RR | SCHED_RESET_ON_FORK, &p);  // refused: SDL's choice stays
}

// One line on standard error when the heard latency's source is known, and when it changes.
void sayHeardLatency(int64_t ns, bool fromServer) {
  const long long tenths = std::llround(static_cast<double>(ns) / 1e5);
  std::fprintf(stderr, "TAKTOVI: HÖRLATENZ %lld,%lld MS (%s)\n", tenths / 10, tenths % 10,
               fromServer ? "VOM TONSERVER" : "ANGENOMMEN");
}

// How long construction waits for the first device to open. Opening takes milliseconds; one
// that hangs (a sound server starting) is left to the output's watcher, and the program starts
// meanwhile without sound.
constexpr auto kStartWait = std::chrono::milliseconds(2000);

}  // namespace

AudioEngine::AudioEngine(const Clock& clock, Options options)
    : clock_(clock),
      offline_(options.output == Output::Offline),
      loadSynth_(options.loadSynth),
      synthPlan_(std::move(options.synthPlan)) {
  const FoundSoundfont found = findSoundfont(options.soundfonts);
  soundfont_ = found.path;
  soundfontRejected_ = found.rejected;
  setFormat({options.rate, options.period});
  if (offline_) {
    startSynth();
    return;
  }
  // Audio brings in SDL's event subsystem, whose SIGINT/SIGTERM handlers would swallow
  // both signals; the program handles them itself.
  SDL_SetHintWithPriority(SDL_HINT_NO_SIGNAL_HANDLERS, "1", SDL_HINT_OVERRIDE);
  // SDL asks for time-critical priority for its audio thread; with this, a real-time class
  // (directly, or through RealtimeKit on a desktop) instead of only a lower nice value, so
  // busy processes cannot delay the callback past the sound server's buffer.
  SDL_SetHint(SDL_HINT_THREAD_FORCE_REALTIME_TIME_CRITICAL, "1");
  OutputHooks hooks;
  hooks.render = [this](float* out, int frames) {
    if (!realtimeChecked_) {
      realtimeChecked_ = true;
      ensureRealtime();
    }
    renderInto(out, frames, clock_.nowNs());
  };
  hooks.prepare = [this](const OutputFormat& got, bool starting) { return prepareOutput(got, starting); };
  hooks.idle = [this] { applyWithoutOutput(); };
  output_ = std::make_unique<OutputDevice>(OutputFormat{rate_, period_}, std::move(hooks));
  output_->waitForStart(kStartWait);
  // Asked for as long as the program runs: a reopened stream is found again by its name.
  server_ = std::make_unique<ServerLatency>(outputStreamName(), [this](int64_t ns) {
    sayHeardLatency(latencyNs_ + (ns > 0 ? ns : deviceLatencyNs_.load(std::memory_order_relaxed)), ns > 0);
  });
}

AudioEngine::~AudioEngine() {
  server_.reset();
  output_.reset();        // no callback or watcher touches the engine from here on
  delete worker_.load();  // frees what it holds
  freeSynth(synth_.release());
}

void AudioEngine::setFormat(const OutputFormat& f) {
  rate_ = f.rate;
  period_ = f.period;
  voice_ = SampleVoice(rate_);
  timeline_ = Timeline(rate_);
  latencyNs_ = periodNs() + kScheduleSafetyNs;
  staleFrames_ = kStaleNs * rate_ / 1'000'000'000;
}

void AudioEngine::startSynth() {
  if (worker() != nullptr || soundfont_.empty() || !loadSynth_) return;
  worker_.store(new SynthWorker(soundfont_, 2.0 * rate_, synthPlan_, reads_), std::memory_order_release);
}

// The watcher's thread, the device paused. While construction waits, the engine takes the
// device's rate; afterwards the device was asked for the engine's own (SDL converts).
bool AudioEngine::prepareOutput(const OutputFormat& got, bool starting) {
  if (starting && (got.rate != rate_ || got.period != period_)) setFormat(got);
  if (got.rate != rate_ || got.period != period_) return false;
  // A sound server sizes its buffer (stream buffer plus device) to the period SDL asks for;
  // a callback's first frame leaves the device that much after the callback.
  deviceLatencyNs_.store(int64_t{got.period} * 1'000'000'000 / got.rate, std::memory_order_relaxed);
  realtimeChecked_ = false;  // a new callback thread
  steadyFrom_ = frame_ + int64_t{kSettlingPeriods} * period_;
  playing_ = true;
  startSynth();
  return true;
}

// The watcher's thread, no device open: commands apply when their time has come, as the
// callback would apply them, but nothing sounds, so every tone start is lost. Those planned for
// later wait: an output that comes back in the middle of a melody plays the rest of it.
void AudioEngine::applyWithoutOutput() {
  if (playing_) {  // what sounded when the output went ends there, not where it comes back
    playing_ = false;
    synth_.reset();
    voice_.silence();
  }
  adoptLoadedSynth();
  auto applyDue = [this](TimedCommands<AudioCommand>& pending,
                         void (AudioEngine::*apply)(const AudioCommand&)) {
    const int64_t due = clock_.nowNs() - latencyNs_;
    for (const AudioCommand* c; (c = pending.peek()) != nullptr && c->timeNs <= due; pending.pop())
      if (!lostStart(*c, 0, kNoFrameIsOnTime)) (this->*apply)(*c);
  };
  for (int round = 0; round < 4; ++round) {  // the UI thread may be sending meanwhile
    drainQueue();
    applyDue(midiPending_, &AudioEngine::applySynth);
    applyDue(samplePending_, &AudioEngine::applySample);
    if (queue_.peek() == nullptr) break;
  }
  lendIfWanted();
}

AudioReport AudioEngine::report() const {
  const bool plays = hasDevice() && rendered_.load(std::memory_order_relaxed) >= steadyFrom_.load();
  const SynthWorker* w = worker();
  return {offline_ || plays, soundfontState(), w != nullptr && w->state() == SynthWorker::State::Ready};
}

AudioReport::Soundfont AudioEngine::soundfontState() const {
  using enum AudioReport::Soundfont;
  if (soundfont_.empty()) return soundfontRejected_ ? Unusable : Missing;
  const SynthWorker* w = worker();
  return w != nullptr && w->state() == SynthWorker::State::Failed ? Unusable : Usable;
}

int64_t AudioEngine::heardLatencyNs() const {
  const int64_t server = server_ ? server_->ns() : 0;
  return latencyNs_ + (server > 0 ? server : deviceLatencyNs_.load(std::memory_order_relaxed));
}

void AudioEngine::waitForSynth() {
  if (const SynthWorker* w = worker()) w->waitIdle();
}

void AudioEngine::send(const AudioCommand& c) {
  collectRetired();
  if (!queue_.push(c)) ++dropped_;
}

const SampleBuffer* AudioEngine::publishSample(std::unique_ptr<SampleBuffer> buffer) {
  if (!buffer) return nullptr;
  const SampleBuffer* raw = buffer.get();
  collectRetired();
  held_.push_back(std::move(buffer));
  if (!queue_.push({AudioCommand::Kind::SamplePublish, clock_.nowNs(), 0, 0, raw})) {
    ++dropped_;
    held_.pop_back();  // the audio thread never saw it
    return nullptr;
  }
  current_ = raw;
  return raw;
}

void AudioEngine::retireSample(const SampleBuffer* buffer) {
  if (buffer == nullptr) return;
  if (buffer == current_) current_ = nullptr;
  // A lost retire only keeps the buffer alive until the engine ends.
  send({AudioCommand::Kind::SampleRetire, clock_.nowNs(), 0, 0, buffer});
}

void AudioEngine::collectRetired() {
  while (auto p = returned_.tryPop()) {
    std::erase_if(held_, [&](const std::unique_ptr<SampleBuffer>& b) { return b.get() == *p; });
  }
}

AudioEngine::Stats AudioEngine::stats() const {
  Stats s;
  s.droppedCommands = dropped_;
  s.lateCommands = late_.load(std::memory_order_relaxed);
  s.framesRendered = rendered_.load(std::memory_order_relaxed);
  s.callbacks = statCount_.load(std::memory_order_relaxed);
  s.sumSquaredErrorNs = statSumSq_.load(std::memory_order_relaxed);
  s.maxAbsErrorNs = statMaxErr_.exchange(0, std::memory_order_relaxed);
  s.staleCommands = stale_.load(std::memory_order_relaxed);
  if (const SynthWorker* w = worker()) {
    s.synthLoadNs = w->loadNs();
    s.synthCalibrationNs = w->calibrationNs();
    s.synthFullGain = w->fullGain();
  }
  s.soundfontReads = reads_.all.load(std::memory_order_relaxed);
  s.soundfontReadsOnRenderThread = reads_.onRenderThread.load(std::memory_order_relaxed);
  return s;
}

std::vector<float> AudioEngine::render(int frames) {
  return renderAt(clock_.nowNs(), frames);
}

std::vector<float> AudioEngine::renderAt(int64_t callbackNs, int frames) {
  std::vector<float> out(static_cast<size_t>(frames) * 2);
  if (offline_) renderInto(out.data(), frames, callbackNs);
  collectRetired();
  return out;
}

// --- audio thread ---

void AudioEngine::noteWakeUp(int64_t callbackNs) {
  // A new device's first callbacks come in a burst while the server fills its buffer, or late
  // while it starts its graph: the timeline starts again at each that comes early (at one far
  // late it does so by itself), so it follows the pace that comes after.
  if (frame_ < steadyFrom_.load(std::memory_order_relaxed) && callbackNs - lastWakeNs_ < periodNs() / 2)
    timeline_ = Timeline(rate_);
  lastWakeNs_ = callbackNs;
  timeline_.update(callbackNs, frame_);
  const double err = timeline_.lastErrorNs();
  statCount_.store(statCount_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  statMaxErr_.store(std::max(statMaxErr_.load(std::memory_order_relaxed), std::fabs(err)),
                    std::memory_order_relaxed);
  statSumSq_.store(statSumSq_.load(std::memory_order_relaxed) + err * err, std::memory_order_relaxed);
}

void AudioEngine::drainQueue() {
  while (const AudioCommand* c = queue_.peek()) {
    const bool synthCommand =
        c->kind == AudioCommand::Kind::Midi || c->kind == AudioCommand::Kind::SynthReset ||
        c->kind == AudioCommand::Kind::SynthVolume || c->kind == AudioCommand::Kind::SynthPreload;
    if (c->kind == AudioCommand::Kind::Cancel)
      cancel(*c);
    else if (!(synthCommand ? midiPending_ : samplePending_).insert(*c))
      break;  // later callbacks take the rest
    queue_.pop();
  }
}

// A cancel acts as soon as the audio thread sees it: what was planned for after its time goes.
void AudioEngine::cancel(const AudioCommand& c) {
  if ((c.value & AudioCommand::kCancelSynth) != 0) midiPending_.cancelPlannedAfter(c.timeNs);
  if ((c.value & AudioCommand::kCancelSample) != 0) samplePending_.cancelPlannedAfter(c.timeNs);
}

bool AudioEngine::startsSound(const AudioCommand& c) const {
  switch (c.kind) {
    case AudioCommand::Kind::Midi:
      return (c.value & 0xF0) == 0x90 && (c.value >> 16 & 0x7F) != 0;  // a note-on
    case AudioCommand::Kind::SamplePosition:
      return true;  // a tone starts at a position
    case AudioCommand::Kind::SampleGain:
      return c.gain > voice_.targetGain();
    default:
      return false;
  }
}

void AudioEngine::applySynth(const AudioCommand& c) {
  switch (c.kind) {
    case AudioCommand::Kind::Midi:
      synth_.shortMessage(c.value);
      break;
    case AudioCommand::Kind::SynthReset:
      synth_.reset();
      break;
    case AudioCommand::Kind::SynthVolume:
      synth_.setVolume(c.gain);
      break;
    case AudioCommand::Kind::SynthPreload:
      synth_.preload(static_cast<int>(c.value >> 7), static_cast<int>(c.value & 0x7F));
      break;
    default:
      break;
  }
}

void AudioEngine::applySample(const AudioCommand& c) {
  switch (c.kind) {
    case AudioCommand::Kind::SamplePublish: {
      const SampleBuffer* old = voice_.retire();
      if (old != nullptr) returned_.push(old);
      voice_.publish(c.buffer);
      break;
    }
    case AudioCommand::Kind::SampleRetire:
      // A buffer already replaced by a newer one was handed back then.
      if (voice_.buffer() == c.buffer) returned_.push(voice_.retire());
      break;
    case AudioCommand::Kind::SamplePlay:
      voice_.play(c.value != 0);
      break;
    case AudioCommand::Kind::SamplePosition:
      voice_.setPosition(c.value);
      break;
    case AudioCommand::Kind::SampleRate:
      voice_.setRate(c.value);
      break;
    case AudioCommand::Kind::SampleFade:
      voice_.setGain(0, SampleVoice::kFadeSeconds);
      break;
    case AudioCommand::Kind::SampleGain:
      voice_.setGain(c.gain);
      break;
    default:
      break;
  }
}

bool AudioEngine::lostStart(const AudioCommand& c, int64_t frame, int64_t earliest) {
  if (frame >= earliest || !startsSound(c)) return false;
  stale_.fetch_add(1, std::memory_order_relaxed);
  return true;
}

void AudioEngine::adoptLoadedSynth() {
  SynthWorker* w = worker();
  if (!synth_.ready() && w != nullptr) {
    if (LoadedSynth* s = w->takeLoaded()) synth_.adopt(s);
  }
}

void AudioEngine::lendIfWanted() {
  if (SynthWorker* w = worker(); synth_.wantsLoad() && w != nullptr) w->lend(synth_.lendForLoading());
}

// The synthesizer's next block: its messages take effect at the block boundary nearest to
// their frame, less what the decimator delays.
void AudioEngine::renderSynthBlock(int64_t here, int64_t earliest) {
  constexpr int kBlock = kSynthBlock;
  while (const AudioCommand* c = midiPending_.peek()) {
    const int64_t t = targetFrame(c->timeNs) - HalfbandDecimator::kDelay;
    if (t >= here + kBlock / 2) break;
    if (!lostStart(*c, t, earliest)) {
      if (t < here - kBlock / 2) late_.fetch_add(1, std::memory_order_relaxed);
      applySynth(*c);
    }
    midiPending_.pop();
  }
  lendIfWanted();
  float left[BuiltinSynth::kBlock];
  float right[BuiltinSynth::kBlock];
  synth_.renderBlock(left, right);
  decimator_.process(left, right, BuiltinSynth::kBlock, synthL_, synthR_);
  synthUsed_ = 0;
}

// `frames` frames of the sample voice from frame `here` on; its commands take effect at their
// own frame.
void AudioEngine::renderSample(float* out, int frames, int64_t here, int64_t earliest) {
  int done = 0;
  while (const AudioCommand* c = samplePending_.peek()) {
    int64_t rel = targetFrame(c->timeNs) - here;
    if (rel >= frames) break;
    if (lostStart(*c, here + rel, earliest)) {
      samplePending_.pop();
      continue;
    }
    if (rel < 0) {
      if (here + rel < frame_) late_.fetch_add(1, std::memory_order_relaxed);
      rel = 0;
    }
    if (rel > done) {
      voice_.render(out + 2 * done, static_cast<int>(rel) - done);
      done = static_cast<int>(rel);
    }
    applySample(*c);
    samplePending_.pop();
  }
  voice_.render(out + 2 * done, frames - done);
}

void AudioEngine::renderInto(float* out, int frames, int64_t callbackNs) {
  reads_.renderThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
  noteWakeUp(callbackNs);
  // Until the worker hands a synthesizer over (or while it is lent), the synthesizer keeps
  // channel state and renders silence.
  adoptLoadedSynth();
  drainQueue();
  const int64_t steadyFrom = steadyFrom_.load(std::memory_order_relaxed);
  std::fill(out, out + static_cast<size_t>(frames) * 2, 0.0f);
  for (int pos = 0; pos < frames;) {
    const int64_t here = frame_ + pos;
    const int64_t earliest = std::max(here - staleFrames_, steadyFrom);
    if (synthUsed_ == kSynthBlock) renderSynthBlock(here, earliest);
    const int seg = std::min(frames - pos, kSynthBlock - synthUsed_);
    renderSample(out + 2 * pos, seg, here, earliest);
    for (int i = 0; i < seg; ++i) {
      out[2 * (pos + i)] += synthL_[synthUsed_ + i];
      out[2 * (pos + i) + 1] += synthR_[synthUsed_ + i];
    }
    synthUsed_ += seg;
    pos += seg;
  }
  frame_ += frames;
  rendered_.store(frame_, std::memory_order_relaxed);
}

}  // namespace taktovi
