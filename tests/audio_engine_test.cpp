#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "audio/audio_engine.h"
#include "audio/system_midi_out.h"
#include "support/offline_run.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {

// Piano and marimba, calibrated over a tone the programs never play.
const SynthPlan kPlan = {{0, 12}, {0, 12}, {{67, 90}}};

// One engine with the soundfont loaded, shared by the tests that need the real synthesizer.
class SynthEngine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    clock_ = new TestClock;
    engine_ = new AudioEngine(*clock_, offline(defaultSoundfonts(), kPlan));
    engine_->waitForSynth();
  }
  static void TearDownTestSuite() {
    delete engine_;
    delete clock_;
  }
  static TestClock* clock_;
  static AudioEngine* engine_;
};
TestClock* SynthEngine::clock_ = nullptr;
AudioEngine* SynthEngine::engine_ = nullptr;

}  // namespace

// Notes planned whole milliseconds apart, as melodies are, begin at their frames less than 32
// frames (a block of the synthesizer's, brought down to the output rate) from one another in
// how far they sit from them; at 64 frames a block it would be up to 64.
TEST_F(SynthEngine, NoteOnsAppearAtTheirFramesAndAllNotesOffEndsThem) {
  ASSERT_TRUE(engine_->synthAvailable());
  ASSERT_GT(engine_->stats().synthFullGain, 0.0f);
  OfflineRun run(*engine_, *clock_);
  const int64_t base = clock_->nowNs();
  run.runUntil(base + 200'000'000);  // anchors the timeline
  double sounding = 0;
  int64_t earliest = INT64_MAX, latest = INT64_MIN;
  int64_t t = base + 230'300'000;
  for (int i = 0; i < 8; ++i, t += 401'000'000 + i * 1'000'000) {
    run.runUntil(t);
    engine_->midi(0x00733C90, t);                // note 60 on
    engine_->midi(0x000078B0, t + 150'000'000);  // all sounds off
    run.runUntil(t + 200'000'000 + engine_->latencyNs());
    // The timeline starts at the first callback: express frames relative to it.
    const int64_t expected = run.expectedFrame(t - base);
    const int64_t onset = run.firstAbove(expected - 300, 1e-4f);
    ASSERT_GE(onset, 0);
    earliest = std::min(earliest, onset - expected);
    latest = std::max(latest, onset - expected);
    sounding = run.rms(onset, onset + 4800);
    EXPECT_GT(sounding, 0.005);
  }
  EXPECT_GE(earliest, 0);  // the piano's attack takes some frames to cross the threshold
  EXPECT_LT(latest, 64);
  EXPECT_LT(latest - earliest, 32);
  engine_->midi(0x00733C90);
  engine_->midi(0x00007BB0);  // all notes off
  run.runUntil(t + 3'000'000'000LL);
  const int64_t end = run.out.size() / 2;
  EXPECT_LT(run.rms(end - 4800, end), sounding * 0.01);
  EXPECT_EQ(engine_->stats().lateCommands, 0u);
}

TEST_F(SynthEngine, LoudestPlanToneAtFullVolumePeaksNearMinus3dB) {
  OfflineRun run(*engine_, *clock_);
  const int64_t base = clock_->nowNs();
  run.runUntil(base + 100'000'000);
  float loudest = 0;
  engine_->midi(0x007F07B0);  // full channel volume
  for (int program : kPlan.instruments) {
    engine_->synthVolume(1.0f);
    engine_->midi(0x007F00C0u | static_cast<uint32_t>(program) << 8);
    const int64_t from = run.out.size() / 2;
    engine_->midi(0x005A4390);  // the plan's tone: note 67, velocity 90
    run.runUntil(clock_->nowNs() + 700'000'000);
    engine_->midi(0x00007BB0);
    run.runUntil(clock_->nowNs() + 1'500'000'000);
    loudest = std::max(loudest, run.peak(from, static_cast<int64_t>(run.out.size() / 2)));
  }
  engine_->midi(0x006407B0);  // back to the default, 100
  const double db = 20 * std::log10(loudest);
  EXPECT_GT(db, -4.5);
  EXPECT_LT(db, -2.0);
}

// Callbacks that stop for a second and come back (a stalled server, a device opened again):
// tone starts whose time passed meanwhile are lost, not played late all at once; everything
// else sent meanwhile (a channel volume, a new sample) holds, and new tones are on time.
TEST_F(SynthEngine, ToneStartsMissedWhileCallbacksStoppedAreLostTheRestHolds) {
  std::vector<float> out;
  const int frames = engine_->period();
  const int64_t periodNs = int64_t{frames} * 1'000'000'000 / engine_->rate();
  int64_t wake = clock_->nowNs();
  auto renderUntil = [&](int64_t t) {  // callbacks on time
    for (; wake <= t; wake += periodNs) {
      const auto block = engine_->renderAt(wake, frames);
      out.insert(out.end(), block.begin(), block.end());
    }
    clock_->setNs(t);
  };
  auto end = [&] { return static_cast<int64_t>(out.size() / 2); };
  auto peak = [&](int64_t from, int64_t to) {
    float p = 0;
    for (int64_t f = std::max<int64_t>(from, 0); f < to && f < end(); ++f)
      p = std::max(p, std::fabs(out[2 * f]));
    return p;
  };
  auto firstAbove = [&](int64_t from) {
    for (int64_t f = from; f < end(); ++f)
      if (std::fabs(out[2 * f]) > 1e-4f) return f;
    return int64_t{-1};
  };
  auto dc = [](float level) {
    auto b = std::make_unique<SampleBuffer>();
    b->frames = 48000;
    b->samples.assign(b->frames, level);
    return b;
  };
  const uint64_t staleBefore = engine_->stats().staleCommands;
  renderUntil(clock_->nowNs() + 300'000'000);
  engine_->midi(0x007F07B0);  // full channel volume
  engine_->publishSample(dc(0.5f));
  engine_->sampleRate(static_cast<uint32_t>(engine_->rate()));
  engine_->samplePlay(true);  // silent: gain 0
  renderUntil(clock_->nowNs() + 100'000'000);

  const int64_t stopped = wake;
  clock_->setNs(stopped + 200'000'000);
  engine_->midi(0x00733C90);  // a tone starts and is not ended
  engine_->midi(0x000007B0);  // channel volume 0
  engine_->publishSample(dc(0.25f));
  engine_->sampleRate(static_cast<uint32_t>(engine_->rate()));
  engine_->samplePlay(true);
  engine_->samplePosition(0);  // a sample tone starts too
  engine_->sampleGain(1.0f);
  wake = stopped + 1'000'000'000;
  const int64_t resumed = end();
  const int64_t resumedNs = wake;
  renderUntil(wake + 300'000'000);
  EXPECT_LT(peak(resumed, end()), 1e-4f) << "a missed tone was played late";
  EXPECT_EQ(engine_->stats().staleCommands - staleBefore, 3u);  // the note-on, the restart, the rise

  // New tones on the new timeline: silent at channel volume 0, then at their planned frames.
  auto frameOf = [&](int64_t t) {
    return resumed +
           std::llround(static_cast<double>(t + engine_->latencyNs() - resumedNs) * engine_->rate() / 1e9);
  };
  engine_->midi(0x00733C90);
  renderUntil(clock_->nowNs() + 300'000'000);
  engine_->midi(0x00007BB0);
  renderUntil(clock_->nowNs() + 1'500'000'000);
  const int64_t quiet = end();
  EXPECT_LT(peak(resumed, quiet), 1e-4f) << "the channel volume set meanwhile was lost";
  engine_->midi(0x007F07B0);
  const int64_t synthTone = clock_->nowNs() + 10'000'000;
  engine_->midi(0x00733C90, synthTone);
  renderUntil(synthTone + 300'000'000);
  engine_->midi(0x00007BB0);
  engine_->midi(0x000007B0);
  renderUntil(clock_->nowNs() + 1'500'000'000);
  EXPECT_NEAR(static_cast<double>(firstAbove(quiet)), static_cast<double>(frameOf(synthTone)), 64.0);

  const int64_t later = end();
  const int64_t sampleTone = clock_->nowNs() + 10'000'000;
  engine_->samplePosition(0, sampleTone);
  engine_->sampleGain(1.0f, sampleTone);
  renderUntil(sampleTone + 200'000'000);
  engine_->sampleGain(0.0f);
  engine_->retireSample(engine_->currentSample());
  renderUntil(clock_->nowNs() + 50'000'000);
  EXPECT_NEAR(static_cast<double>(firstAbove(later)), static_cast<double>(frameOf(sampleTone)), 2.0);
  EXPECT_NEAR(peak(frameOf(sampleTone), frameOf(sampleTone) + 4800), 0.25f, 0.01f)
      << "the sample published meanwhile was lost";
  engine_->midi(0x007F07B0);
}

TEST(AudioEngine, MessagesSentWhileTheSoundfontLoadsStillTakeEffect) {
  TestClock clock;
  AudioEngine engine(clock, offline(defaultSoundfonts(), {{0, 19}, {}, {}}));
  // Before the load finishes: organ on channel 0, channel volume, device volume.
  engine.midi(0x007F13C0);  // program 19
  engine.midi(0x007F07B0);
  engine.synthVolume(1.0f);
  OfflineRun run(engine, clock);
  run.runMs(20);
  engine.waitForSynth();
  run.runMs(100);
  engine.midi(0x00733C90);
  run.runUntil(600'000'000 + engine.latencyNs());
  // An organ sustains without decay; a piano (program 0) would have decayed by now.
  const int64_t from = run.expectedFrame(100'000'000);
  const double early = run.rms(from + 4800, from + 9600);
  const double late = run.rms(from + 19200, from + 24000);
  EXPECT_GT(early, 0.005);
  EXPECT_GT(late, early * 0.7);
}

TEST(AudioEngine, WithoutSoundfontTheSynthIsUnavailableAndSilent) {
  TestClock clock;
  AudioEngine engine(clock, offline({"/nonexistent/a.sf2"}));
  EXPECT_FALSE(engine.synthAvailable());
  EXPECT_EQ(engine.report().soundfont, AudioReport::Soundfont::Missing);
  OfflineRun run(engine, clock);
  engine.midi(0x007F3C90);
  run.runMs(200);
  EXPECT_EQ(run.peak(0, static_cast<int64_t>(run.out.size() / 2)), 0.0f);
}

TEST(AudioEngine, CorruptSoundfontIsUnavailableAndReportedAsUnusable) {
  char path[] = "/tmp/taktovi-sf-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  // A RIFF sfbk header with nothing behind it: found, and it fails to load.
  const char junk[] = "RIFF\x04\x00\x00\x00sfbkLIST\xff\xff\x00\x00";
  ASSERT_EQ(write(fd, junk, sizeof junk - 1), static_cast<ssize_t>(sizeof junk - 1));
  close(fd);
  TestClock clock;
  {
    AudioEngine engine(clock, offline({"/nonexistent/a.sf2", path}));
    engine.waitForSynth();
    EXPECT_FALSE(engine.synthAvailable());
    EXPECT_EQ(engine.report().soundfont, AudioReport::Soundfont::Unusable);
  }
  // No soundfont header at all; a usable one behind it is taken.
  ASSERT_EQ(truncate(path, 4), 0);
  AudioEngine engine(clock, offline({path}));
  EXPECT_FALSE(engine.synthAvailable());
  EXPECT_EQ(engine.report().soundfont, AudioReport::Soundfont::Unusable);
  auto behind = offline({path, findSoundfont(defaultSoundfonts()).path});
  behind.loadSynth = false;
  EXPECT_EQ(AudioEngine(clock, behind).report().soundfont, AudioReport::Soundfont::Usable);
  unlink(path);
}

TEST(AudioEngine, NoDeviceTakesCommandsAndStaysSilent) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);  // SDL reads it on the engine's watcher until it ends
  {
    SteadyClock clock;
    AudioEngine::Options o;
    o.output = AudioEngine::Output::Device;
    AudioEngine engine(clock, o);
    EXPECT_FALSE(engine.hasDevice());
    EXPECT_EQ(engine.heardLatencyNs(), engine.latencyNs());  // no device buffer to add
    EXPECT_TRUE(engine.synthAvailable());  // the soundfont exists; capabilities do not depend on a device
    // The watcher takes the commands meanwhile (their tones are lost), so the queue never fills.
    const uint64_t n = AudioEngine::kQueueCapacity;
    for (uint64_t round = 1; round <= 3; ++round) {
      for (uint64_t i = 0; i < n; ++i) engine.midi(0x007F3C90);
      for (int i = 0; i < 500 && engine.stats().staleCommands < round * n; ++i) usleep(10000);
    }
    EXPECT_EQ(engine.stats().staleCommands, 3 * n);
    auto b = std::make_unique<SampleBuffer>();
    b->frames = 1;
    b->samples = {0.5f};
    const SampleBuffer* p = engine.publishSample(std::move(b));
    EXPECT_EQ(engine.currentSample(), p);
    engine.sampleGain(1.0f);
    engine.retireSample(p);
    EXPECT_EQ(engine.currentSample(), nullptr);
    EXPECT_EQ(engine.stats().droppedCommands, 0u);
    // The built-in synthesizer opens, to sound once an output comes; until then it is not audible.
    SystemMidiOut midi(engine, openAlsaPorts());
    MidiOutCaps caps;
    EXPECT_EQ(midi.midiOutGetDevCaps(0, caps), 0u);
    HMIDIOUT h = 0;
    EXPECT_EQ(midi.midiOutOpen(h, 0), 0u);
    EXPECT_FALSE(midi.audible(h));
    EXPECT_FALSE(engine.report().output);
    EXPECT_EQ(engine.report().soundfont, AudioReport::Soundfont::Usable);
  }
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}

TEST(AudioEngine, DummyDriverRunsTheCallback) {
  SteadyClock clock;
  AudioEngine::Options o;
  o.output = AudioEngine::Output::Device;
  o.loadSynth = false;
  AudioEngine engine(clock, o);
  ASSERT_TRUE(engine.hasDevice());
  EXPECT_EQ(engine.period(), o.period);
  for (int i = 0; i < 200 && engine.stats().framesRendered == 0; ++i) usleep(5000);
  EXPECT_GT(engine.stats().framesRendered, 0);
}

TEST(AudioEngine, TerminationSignalsKeepTheirDefaultAction) {
  AudioEngine::Options o;
  o.output = AudioEngine::Output::Device;
  o.loadSynth = false;
  SteadyClock clock;
  AudioEngine engine(clock, o);
  ASSERT_TRUE(engine.hasDevice());
  for (int signal : {SIGINT, SIGTERM}) {
    struct sigaction action {};
    sigaction(signal, nullptr, &action);
    EXPECT_EQ(action.sa_handler, SIG_DFL) << signal;  // a kill ends the program
  }
}

TEST(AudioEngine, OfflineASampleCommandIsHeardWhenTheEngineSaysSo) {
  TestClock clock;
  AudioEngine engine(clock, offline({}));
  EXPECT_EQ(engine.heardLatencyNs(), engine.latencyNs());  // no device buffer offline
  auto b = std::make_unique<SampleBuffer>();
  b->frames = 48000;
  b->samples.assign(b->frames, 0.5f);
  OfflineRun run(engine, clock);  // callbacks on time: the timeline is exact
  engine.publishSample(std::move(b));
  engine.samplePlay(true);  // silent: the voice's gain starts at 0
  run.runMs(300);
  const int64_t call = 345'678'000;
  run.runUntil(call);
  engine.sampleGain(1.0f);
  run.runUntil(call + 200'000'000);
  const int64_t heard =
      std::llround(static_cast<double>(call + engine.heardLatencyNs()) * engine.rate() / 1e9);
  EXPECT_NEAR(static_cast<double>(run.firstAbove(0, 0.0f)), static_cast<double>(heard), 1.0);
  EXPECT_EQ(engine.stats().lateCommands, 0u);

  // Commands handed over ahead, as far as a melody reaches, act at their planned frames; one given
  // meanwhile for now acts at its own, before them; a cancel takes back what was planned for
  // after it.
  auto frameOf = [&](int64_t ns) { return std::llround(static_cast<double>(ns) * engine.rate() / 1e9); };
  engine.sampleGain(0.0f);
  const int64_t handed = call + 500'000'000;
  run.runUntil(handed);
  const int64_t planned = handed + 2'000'000'000;
  engine.sampleGain(1.0f, planned);
  engine.sampleGain(0.0f, planned + 100'000'000);
  engine.sampleGain(1.0f, planned + 1'000'000'000);  // cancelled before its time
  run.runUntil(handed + 300'000'000);
  const auto quiet = static_cast<int64_t>(run.out.size() / 2);
  engine.sampleGain(1.0f);
  engine.sampleGain(0.0f, clock.nowNs() + 50'000'000);
  run.runUntil(planned + 500'000'000);
  engine.cancelPlanned(AudioCommand::kCancelSample);
  run.runUntil(planned + 1'500'000'000);
  EXPECT_NEAR(static_cast<double>(run.firstAbove(quiet, 0.0f)),
              static_cast<double>(frameOf(handed + 300'000'000 + engine.heardLatencyNs())), 1.0);
  const int64_t silentAgain = frameOf(handed + 350'000'000 + engine.heardLatencyNs()) + 1000;
  EXPECT_NEAR(static_cast<double>(run.firstAbove(silentAgain, 0.0f)),
              static_cast<double>(frameOf(planned + engine.heardLatencyNs())), 1.0);
  EXPECT_EQ(run.firstAbove(frameOf(planned + 100'000'000 + engine.heardLatencyNs()) + 1000, 0.0f), -1);
  EXPECT_EQ(engine.stats().lateCommands, 0u);
  engine.sampleGain(0.0f);
  const int64_t missed = clock.nowNs() + 200'000'000;
  run.runUntil(missed + engine.latencyNs() + 10'000'000);
  const auto rendered = static_cast<int64_t>(run.out.size() / 2);
  engine.sampleGain(1.0f, missed);
  run.runUntil(missed + 400'000'000);
  EXPECT_EQ(run.firstAbove(rendered - 1000, 0.0f), rendered);  // the next frame rendered
  EXPECT_EQ(engine.stats().lateCommands, 1u);
}

TEST(AudioEngine, OnADeviceTheHeardLatencyAddsWhatTheDeviceHolds) {
  SteadyClock clock;
  AudioEngine::Options o;
  o.loadSynth = false;
  AudioEngine engine(clock, o);
  ASSERT_TRUE(engine.hasDevice());
  const int64_t periodNs = int64_t{engine.period()} * 1'000'000'000 / engine.rate();
  // The engine's own latency is a period and a little safety, no margin for late turns; what
  // the device holds comes on top: no server tells it on SDL's dummy driver, so a period is
  // assumed.
  EXPECT_GE(engine.latencyNs(), periodNs);
  EXPECT_LE(engine.latencyNs(), periodNs + 5'000'000);
  EXPECT_EQ(engine.heardLatencyNs(), engine.latencyNs() + periodNs);
}

TEST(AudioEngine, CommandStormDropsTheNewestAndCountsThem) {
  TestClock clock;
  AudioEngine engine(clock, offline({}));
  const uint64_t storm = 1'000'000;
  for (uint64_t i = 0; i < storm; ++i) engine.midi(0x00733C90);
  EXPECT_EQ(engine.stats().droppedCommands, storm - AudioEngine::kQueueCapacity);
  // Rendering drains the queue; later commands are taken again.
  OfflineRun run(engine, clock);
  run.runMs(50);
  engine.midi(0x00007BB0);
  EXPECT_EQ(engine.stats().droppedCommands, storm - AudioEngine::kQueueCapacity);
}
