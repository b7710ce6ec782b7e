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

// Beyond one period, the schedule covers how late the UI thread's turns come on a busy desktop
// (callbacks never wake early against the timeline): a turn later than this moves a melody's
// plan. On a two-core machine with every core busy, the playback loop's turns came 77 ms late at
// p99.9 and 98 ms at most, through PulseAudio and PipeWire alike (bench/audio_path.sh).
constexpr int64_t kScheduleMarginNs = 100'000'000;

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

// The name our output stream carries at the sound server, the same for every open in this
// process: the server-latency probe finds the stream by it.
std::string streamName() {
  return "taktovi " + std::to_string(getpid());
}

// One line on standard error when the heard latency's source is known, and when it changes.
void sayHeardLatency(int64_t ns, bool fromServer) {
  const long long tenths = std::llround(static_cast<double>(ns) / 1e5);
  std::fprintf(stderr, "TAKTOVI: HÖRLATENZ %lld,%lld MS (%s)\n", tenths / 10, tenths % 10,
               fromServer ? "VOM TONSERVER" : "ANGENOMMEN");
}

}  // namespace

struct CallbackContext {
  AudioEngine* engine;
  const Clock* clock;
  bool scheduled = false;  // the callback thread's class was seen to (first callback)
};

static void sdlCallback(void* user, Uint8* stream, int len) {
  auto* ctx = static_cast<CallbackContext*>(user);
  if (!ctx->scheduled) {
    ctx->scheduled = true;
    ensureRealtime();
  }
  ctx->engine->renderInto(reinterpret_cast<float*>(stream), len / static_cast<int>(2 * sizeof(float)),
                          ctx->clock->nowNs());
}

AudioEngine::AudioEngine(const Clock& clock, Options options)
    : clock_(clock), rate_(options.rate), period_(options.period), voice_(options.rate) {
  const FoundSoundfont found = findSoundfont(options.soundfonts);
  soundfont_ = found.path;
  soundfontRejected_ = found.rejected;
  offline_ = options.output == Output::Offline;
  if (!offline_) {
    // Audio brings in SDL's event subsystem, whose SIGINT/SIGTERM handlers would swallow
    // both signals; the program handles them itself.
    SDL_SetHintWithPriority(SDL_HINT_NO_SIGNAL_HANDLERS, "1", SDL_HINT_OVERRIDE);
    // SDL asks for time-critical priority for its audio thread; with this, a real-time class
    // (directly, or through RealtimeKit on a desktop) instead of only a lower nice value, so
    // busy processes cannot delay the callback past the sound server's buffer.
    SDL_SetHint(SDL_HINT_THREAD_FORCE_REALTIME_TIME_CRITICAL, "1");
  }
  if (!offline_ && SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
    callbackContext_ = std::make_unique<CallbackContext>(CallbackContext{this, &clock_, false});
    SDL_AudioSpec want{};
    SDL_AudioSpec have{};
    want.freq = options.rate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = static_cast<Uint16>(options.period);
    want.callback = sdlCallback;
    want.userdata = callbackContext_.get();
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, streamName().c_str());
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (device_ != 0) {
      rate_ = have.freq;
      period_ = have.samples;
    } else {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
  }
  voice_ = SampleVoice(rate_);
  timeline_ = Timeline(rate_);
  latencyNs_ = periodNs() + kScheduleMarginNs;
  // A sound server sizes its buffer (stream buffer plus sink) to the period SDL asks for:
  // where it cannot tell, a block's first frame is taken to leave it a period after the block's time.
  deviceLatencyNs_ = device_ != 0 ? periodNs() : 0;
  if (device_ != 0) {
    const char* driver = SDL_GetCurrentAudioDriver();
    if (driver != nullptr &&
        (std::strcmp(driver, "pulseaudio") == 0 || std::strcmp(driver, "pipewire") == 0)) {
      server_ = std::make_unique<ServerLatency>(streamName(), [this](int64_t ns) {
        sayHeardLatency(latencyNs_ + (ns > 0 ? ns : deviceLatencyNs_), ns > 0);
      });
    } else {
      sayHeardLatency(heardLatencyNs(), false);
    }
  }
  const bool renders = offline_ || device_ != 0;
  if (!soundfont_.empty() && renders && options.loadSynth)
    worker_ = std::make_unique<SynthWorker>(soundfont_, rate_, std::move(options.synthPlan), reads_);
  if (device_ != 0) SDL_PauseAudioDevice(device_, 0);
}

AudioEngine::~AudioEngine() {
  server_.reset();
  if (device_ != 0) {
    SDL_CloseAudioDevice(device_);  // the callback thread has ended when this returns
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  worker_.reset();  // frees what it holds
  freeSynth(synth_.release());
}

AudioReport::Soundfont AudioEngine::soundfontState() const {
  using enum AudioReport::Soundfont;
  if (soundfont_.empty()) return soundfontRejected_ ? Unusable : Missing;
  return worker_ != nullptr && worker_->state() == SynthWorker::State::Failed ? Unusable : Usable;
}

int64_t AudioEngine::heardLatencyNs() const {
  const int64_t server = server_ ? server_->ns() : 0;
  return latencyNs_ + (server > 0 ? server : deviceLatencyNs_);
}

void AudioEngine::waitForSynth() {
  if (worker_) worker_->waitIdle();
}

void AudioEngine::send(const AudioCommand& c) {
  collectRetired();
  if (!offline_ && device_ == 0) return;  // no output: nothing to tell
  if (!queue_.push(c)) ++dropped_;
}

const SampleBuffer* AudioEngine::publishSample(std::unique_ptr<SampleBuffer> buffer) {
  if (!buffer) return nullptr;
  const SampleBuffer* raw = buffer.get();
  collectRetired();
  const bool silent = !offline_ && device_ == 0;
  if (silent) std::erase_if(held_, [&](const auto& b) { return b.get() == current_; });
  held_.push_back(std::move(buffer));
  if (!silent && !queue_.push({AudioCommand::Kind::SamplePublish, clock_.nowNs(), 0, 0, raw})) {
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
  if (!offline_ && device_ == 0) {
    std::erase_if(held_, [&](const auto& b) { return b.get() == buffer; });
    return;
  }
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
  if (worker_) {
    s.synthLoadNs = worker_->loadNs();
    s.synthCalibrationNs = worker_->calibrationNs();
    s.synthFullGain = worker_->fullGain();
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
    if (!(synthCommand ? midiPending_ : samplePending_).push(*c)) break;  // later callbacks take the rest
    queue_.pop();
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

void AudioEngine::renderInto(float* out, int frames, int64_t callbackNs) {
  reads_.renderThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
  noteWakeUp(callbackNs);
  // Until the worker hands a synthesizer over (or while it is lent), the synthesizer keeps
  // channel state and renders silence.
  if (!synth_.ready() && worker_) {
    if (LoadedSynth* s = worker_->takeLoaded()) synth_.adopt(s);
  }
  drainQueue();
  std::fill(out, out + static_cast<size_t>(frames) * 2, 0.0f);
  constexpr int kBlock = BuiltinSynth::kBlock;
  int pos = 0;
  while (pos < frames) {
    const int64_t here = frame_ + pos;
    if (synthUsed_ == kBlock) {
      // Synthesizer messages take effect at the block boundary nearest to their frame.
      while (const AudioCommand* c = midiPending_.peek()) {
        const int64_t t = targetFrame(c->timeNs);
        if (t >= here + kBlock / 2) break;
        if (t < here - kBlock / 2) late_.fetch_add(1, std::memory_order_relaxed);
        if (c->kind == AudioCommand::Kind::Midi) synth_.shortMessage(c->value);
        if (c->kind == AudioCommand::Kind::SynthReset) synth_.reset();
        if (c->kind == AudioCommand::Kind::SynthVolume) synth_.setVolume(c->gain);
        if (c->kind == AudioCommand::Kind::SynthPreload)
          synth_.preload(static_cast<int>(c->value >> 7), static_cast<int>(c->value & 0x7F));
        midiPending_.pop();
      }
      if (synth_.wantsLoad()) worker_->lend(synth_.lendForLoading());
      synth_.renderBlock(synthL_, synthR_);
      synthUsed_ = 0;
    }
    const int seg = std::min(frames - pos, kBlock - synthUsed_);
    // Sample-buffer commands take effect at their own frame.
    int done = 0;
    while (const AudioCommand* c = samplePending_.peek()) {
      int64_t rel = targetFrame(c->timeNs) - here;
      if (rel >= seg) break;
      if (rel < 0) {
        if (here + rel < frame_) late_.fetch_add(1, std::memory_order_relaxed);
        rel = 0;
      }
      if (rel > done) {
        voice_.render(out + 2 * (pos + done), static_cast<int>(rel) - done);
        done = static_cast<int>(rel);
      }
      applySample(*c);
      samplePending_.pop();
    }
    voice_.render(out + 2 * (pos + done), seg - done);
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
