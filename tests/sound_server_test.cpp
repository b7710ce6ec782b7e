// The sound output through a real sound server that stops and starts again, as a desktop's does
// after a crash, an update or a headset switch: PulseAudio, and PipeWire with WirePlumber and
// pipewire-pulse (through SDL's pulseaudio driver, the one SDL picks, and its native pipewire
// driver). The engine tests print when the loss was noticed and when sound came back.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "audio/audio_engine.h"
#include "audio/engine_mixer.h"
#include "audio/system_midi_out.h"
#include "choice/choice_window.h"
#include "kit/event_pump.h"
#include "sound/program_plan.h"
#include "sound/sound_panel.h"
#include "support/fake_services.h"
#include "support/processes.h"
#include "support/sound_server.h"
#include "support/timing_view.h"
#include "support/trainer_rig.h"
#include "support/wav_builder.h"
#include "timing/timing_window.h"

using namespace taktovi;
using namespace taktovi::test;
using namespace std::chrono_literals;

// Leaks of SDL 2.26 itself, not of our code: libpulse's operations pending on SDL's device-list
// connection when its server dies, and the devices SDL's ALSA hotplug thread found (the sound
// server's ALSA plugin) when the subsystem ends.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libpulse.so.0\nleak:libSDL2-2.0.so.0\n";
}

namespace {

double seconds(int64_t ns) {
  return static_cast<double>(ns) / 1e9;
}

// The WAV-mode voice plays a tone every slot at planned times, as a melody sends them.
class TonePlayer {
 public:
  static constexpr int64_t kSlotNs = 300'000'000;
  static constexpr int64_t kToneNs = 240'000'000;  // 60 ms of quiet between tones

  TonePlayer(AudioEngine& engine, const Clock& clock)
      : engine_(engine), clock_(clock), next_(clock.nowNs()) {}

  // A looping sine at `hz` becomes the voice's sample.
  void sample(int hz) {
    auto b = std::make_unique<SampleBuffer>();
    b->frames = 48000;
    b->samples.resize(b->frames);
    for (uint32_t i = 0; i < b->frames; ++i)
      b->samples[i] = static_cast<float>(std::sin(2 * M_PI * hz * i / 48000.0));
    engine_.publishSample(std::move(b));
    engine_.sampleRate(48000);
    engine_.samplePlay(true);
  }
  // Plays on until `done` holds, at most `limitS`; whether it held.
  template <typename F>
  bool until(F done, double limitS) {
    const int64_t end = clock_.nowNs() + static_cast<int64_t>(limitS * 1e9);
    for (;;) {
      for (; next_ - 20'000'000 <= clock_.nowNs(); next_ += kSlotNs) {
        engine_.samplePosition(0, next_);
        engine_.sampleGain(0.5f, next_);
        engine_.sampleFade(next_ + kToneNs);
      }
      if (done()) return true;
      if (clock_.nowNs() > end) return false;
      std::this_thread::sleep_for(5ms);
    }
  }
  void playFor(double s) {
    until([] { return false; }, s);
  }

 private:
  AudioEngine& engine_;
  const Clock& clock_;
  int64_t next_;
};

// What the server says of its playing streams.
std::string sinkInputs(const char* listing = "pactl list sink-inputs") {
  std::string text;
  FILE* p = popen(listing, "r");
  for (char line[512]; p != nullptr && fgets(line, sizeof line, p) != nullptr;) text += line;
  if (p != nullptr) pclose(p);
  return text;
}

// How far tones on the sink are from a whole number of slots apart, the largest, in seconds; -1
// when two are less than half a slot apart.
double largestSlotError(const std::vector<SinkRecording::Onset>& onsets) {
  const double slot = static_cast<double>(TonePlayer::kSlotNs) * SinkRecording::kRate / 1e9;
  double largest = 0;
  for (size_t i = 1; i < onsets.size(); ++i) {
    const double apart = static_cast<double>(onsets[i].frame - onsets[i - 1].frame);
    const long inSlots = std::lround(apart / slot);
    if (inSlots < 1) return -1;
    largest =
        std::max(largest, std::fabs(apart - static_cast<double>(inSlots) * slot) / SinkRecording::kRate);
  }
  return largest;
}

// Tones through the engine while the server stops and starts again. `driver`: SDL's audio
// driver, or null for the one SDL picks.
void expectTonesComeBack(SoundServer::Kind kind, const char* driver, const char* label) {
  SoundServer server(kind);
  ASSERT_TRUE(server.start()) << label;
  if (driver != nullptr)
    setenv("SDL_AUDIODRIVER", driver, 1);
  else
    unsetenv("SDL_AUDIODRIVER");
  SteadyClock clock;
  {
    AudioEngine::Options o;
    o.loadSynth = false;
    AudioEngine engine(clock, o);
    ASSERT_TRUE(engine.hasDevice()) << label;
    TonePlayer tones(engine, clock);
    tones.sample(440);
    double lost = 0;
    {
      SinkRecording before(clock);
      ASSERT_TRUE(tones.until([&] { return before.onsets().size() >= 2; }, 5))
          << label << ": no tone on the sink";
      EXPECT_TRUE(tones.until([&] { return engine.heardLatencyFromServer(); }, 5))
          << label << ": the server does not tell the stream's latency";
      // From the end of the program the stream talks to (pulseaudio, pipewire-pulse or pipewire).
      const pid_t serving = server.pid(kind == SoundServer::Kind::Pulse ? "pulseaudio"
                                       : driver != nullptr              ? "pipewire"
                                                                        : "pipewire-pulse");
      int64_t ended = 0;
      auto noteEnd = [&] {
        const ProcStat st = statOf(serving);
        if (ended == 0 && (st.ticks < 0 || st.state == 'Z')) ended = clock.nowNs();
      };
      server.stopAsync();
      ASSERT_TRUE(tones.until(
          [&] {
            noteEnd();
            return !engine.hasDevice();
          },
          5))
          << label << ": the loss went unnoticed";
      const int64_t noticed = clock.nowNs();
      ASSERT_TRUE(tones.until(
                      [&] {
                        noteEnd();
                        return server.done();
                      },
                      10) &&
                  server.ok())
          << label;
      lost = seconds(noticed - ended);
      EXPECT_TRUE(tones.until([&] { return !engine.heardLatencyFromServer(); }, 3))
          << label << ": a gone server's latency is still taken";
    }
    // A new sample while there is no output: it is the one heard afterwards.
    tones.sample(880);
    tones.playFor(1.0);
    server.startAsync();
    ASSERT_TRUE(tones.until([&] { return server.done(); }, 15) && server.ok()) << label;
    const int64_t answered = clock.nowNs();
    SinkRecording after(clock);
    ASSERT_TRUE(tones.until([&] { return engine.hasDevice(); }, 10))
        << label << ": the output did not come back";
    const double reopened = seconds(clock.nowNs() - answered);
    ASSERT_TRUE(tones.until([&] { return after.onsets().size() >= 6; }, 10))
        << label << ": no tone after the restart";
    const auto onsets = after.onsets();
    // In time: the tones keep their slots on the sink's own clock, none delayed or bunched up.
    const double offSlot = largestSlotError(onsets);
    EXPECT_GT(offSlot, -1) << label << ": tones bunched up";
    EXPECT_LT(offSlot, 0.020) << label << ": tones off their slots";
    EXPECT_NE(sinkInputs().find('"' + outputStreamName() + '"'), std::string::npos)
        << label << ": the new stream has another name\n"
        << sinkInputs();
    EXPECT_NEAR(after.pitchAt(onsets[1].frame), 880.0, 30.0)
        << label << ": the sample set meanwhile was lost";
    EXPECT_TRUE(tones.until([&] { return engine.heardLatencyFromServer(); }, 5))
        << label << ": the reopened stream's latency is not asked of the server";
    std::printf(
        "[ figures  ] %s: loss noticed %.2f s after the server ended; output open %.2f s and first tone on "
        "the sink %.2f s after the server answered again (its recording began at %.2f s); tones then within "
        "%.1f ms of their slots\n",
        label, lost, reopened, seconds(after.firstSoundNs() - answered), seconds(after.startNs() - answered),
        offSlot * 1e3);
  }
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}

// Started while no server runs, the engine is silent and loads no soundfont; once a server
// starts, it opens the output (SDL had settled on another driver) and the synthesizer loads.
void expectALateServerIsFound(SoundServer::Kind kind) {
  SoundServer server(kind);
  unsetenv("SDL_AUDIODRIVER");
  SteadyClock clock;
  {
    AudioEngine engine(clock, AudioEngine::Options{.synthPlan = {{0}, {0}, {{60, 100}}}});
    EXPECT_FALSE(engine.hasDevice());
    EXPECT_FALSE(engine.report().output);
    std::this_thread::sleep_for(300ms);  // time enough to begin loading, if it would
    EXPECT_EQ(engine.stats().soundfontReads, 0u) << "the soundfont loads with nothing to play it";
    ASSERT_TRUE(server.start());
    const int64_t answered = clock.nowNs();
    for (int i = 0; i < 1000 && !engine.hasDevice(); ++i) std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(engine.hasDevice()) << "the server was not found";
    std::printf("[ figures  ] a server started later: output open %.2f s after it answered\n",
                seconds(clock.nowNs() - answered));
    engine.waitForSynth();
    EXPECT_GT(engine.stats().synthLoadNs, 0) << "the soundfont did not load";
  }
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}

// A program's window on the real engine, as the program builds it, with the test bench's error
// display, program start and draws.
template <typename Window>
struct ProgramOnTheEngine {
  explicit ProgramOnTheEngine(const std::string& dir = "/nonexistent/") {
    form = std::make_unique<Window>(
        TrainerDeps{midi, mixers, dir, clock, pump, errors, starter, draws, {800, 600}, [this] {
                      return engine.report();
                    }});
  }
  SteadyClock clock;
  AudioEngine engine{clock, AudioEngine::Options{.synthPlan = builtinSynthPlan()}};
  SystemMidiOut midi{engine, openAlsaPorts()};
  EngineMixerFactory mixers{&engine};
  QtEventPump pump{clock};
  RecordingErrorDisplay errors;
  RecordingStarter starter;
  ScriptedDraws draws;
  std::unique_ptr<Window> form;
};

template <typename F>
bool processEventsUntil(F done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// The sound panel stays open while the server stops and starts again: its note says there is
// no output and clears, and the sound test sounds on the sink before and after.
template <typename Window>
void expectSoundTestAndNoteAcrossARestart(SoundServer& server, const char* soundItem,
                                          const char* testButton) {
  ProgramOnTheEngine<Window> program;
  ASSERT_TRUE(program.engine.hasDevice());
  program.engine.waitForSynth();
  program.form->show();
  auto* note = control<QLabel>(program.form.get(), "AudioNote");
  auto* test = control<QPushButton>(program.form.get(), testButton);
  menuEntry(program.form.get(), soundItem)->trigger();
  EXPECT_EQ(note->text(), "");
  auto soundTestHeard = [&] {
    SinkRecording recording(program.clock);
    QTest::mousePress(test, Qt::LeftButton);
    const bool heard = processEventsUntil([&] { return !recording.onsets().empty(); }, 8s);
    QTest::mouseRelease(test, Qt::LeftButton);
    return heard;
  };
  EXPECT_TRUE(soundTestHeard()) << "before the restart";
  server.stopAsync();
  EXPECT_TRUE(processEventsUntil([&] { return note->text() == kNoOutputText; }, 5s))
      << note->text().toStdString();
  ASSERT_TRUE(processEventsUntil([&] { return server.done(); }, 10s) && server.ok());
  server.startAsync();
  ASSERT_TRUE(processEventsUntil([&] { return server.done(); }, 15s) && server.ok());
  EXPECT_TRUE(processEventsUntil([&] { return note->text().isEmpty(); }, 10s)) << note->text().toStdString();
  processEventsUntil([] { return false; }, 500ms);  // a user's reaction; the new stream settles meanwhile
  EXPECT_TRUE(soundTestHeard()) << "after the restart";
  EXPECT_EQ(program.errors.shown, std::vector<std::string>{});
}

// The controls of a program's sound panel and round that a test drives.
struct ProgramControls {
  const char* soundItem;
  const char* midi;
  const char* wav;
  const char* ok;
};

// Started while no server answers, a program plays its rounds once a server is up, with nothing
// done by the user: in WAV mode, entered meanwhile, and in MIDI mode, whose built-in synthesizer
// was opened at start. The panel's note says what is missing until a tone would be heard.
template <typename Window>
void expectRoundsSoundOnceALateServerIsUp(SoundServer::Kind kind, const ProgramControls& c) {
  SoundServer server(kind);
  unsetenv("SDL_AUDIODRIVER");
  TempDir dir;
  std::vector<int16_t> sine(88200);
  for (size_t i = 0; i < sine.size(); ++i)
    sine[i] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 440 * i / 44100.0));
  dir.write("piano.wav", pcmWave(pcm16(sine)));
  {
    ProgramOnTheEngine<Window> program(dir.path().string() + "/");
    program.form->show();
    auto* note = control<QLabel>(program.form.get(), "AudioNote");
    menuEntry(program.form.get(), c.soundItem)->trigger();
    EXPECT_EQ(note->text(), kNoOutputText);
    control<QPushButton>(program.form.get(), c.wav)->click();
    EXPECT_EQ(note->text(), kNoOutputText);
    ASSERT_TRUE(server.start());
    EXPECT_TRUE(processEventsUntil([&] { return note->text().isEmpty(); }, 15s))
        << note->text().toStdString();
    auto roundHeard = [&](const char* mode) {
      control<QPushButton>(program.form.get(), c.ok)->click();
      SinkRecording recording(program.clock);
      QTest::mouseClick(control<QPushButton>(program.form.get(), "BitBtn1"),
                        Qt::LeftButton);  // the whole round
      EXPECT_GE(recording.onsets().size(), 2u) << mode << ": the round was not heard";
      menuEntry(program.form.get(), c.soundItem)->trigger();
    };
    roundHeard("WAV");
    if constexpr (std::is_same_v<Window, ChoiceWindow>)
      QTest::mouseClick(control(program.form.get(), "GroupBox4"), Qt::LeftButton);  // answered: the upper
    control<QPushButton>(program.form.get(), c.midi)->click();
    EXPECT_TRUE(processEventsUntil([&] { return note->text().isEmpty(); }, 10s))
        << note->text().toStdString();
    roundHeard("MIDI");
    EXPECT_EQ(program.errors.shown, std::vector<std::string>{});
  }
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}

constexpr ProgramControls kChoiceControls{"MIDINI1", "Button9", "Button8", "Button5"};
constexpr ProgramControls kTimingControls{"NI1", "Button8", "Button9", "Button4"};

// This program's stream on the server ("Sink Input #N") and the index of its sink; -1 if there
// is none.
std::pair<int, int> ourSinkInput() {
  const std::string text = sinkInputs();
  const auto named = text.find("media.name = \"" + outputStreamName() + '"');
  const auto head = named == std::string::npos ? named : text.rfind("Sink Input #", named);
  const auto sink = head == std::string::npos ? head : text.find("Sink: ", head);
  if (sink == std::string::npos) return {-1, -1};
  return {std::atoi(text.c_str() + head + 12), std::atoi(text.c_str() + sink + 6)};
}

// Moves this program's stream to the sink `name`; whether it plays there. (WirePlumber now and
// then leaves a stream of SDL's native PipeWire driver where it is: asked again.)
bool moveOurStream(const std::string& name) {
  const std::string sinks = sinkInputs("pactl list short sinks");
  const auto at = sinks.find("\t" + name + "\t");
  const int sink = at == std::string::npos ? -1 : std::atoi(sinks.c_str() + sinks.rfind('\n', at) + 1);
  for (int attempt = 0; attempt < 5; ++attempt) {
    const auto [input, on] = ourSinkInput();
    if (input < 0 || on == sink) return on == sink;
    const std::string move = "pactl move-sink-input " + std::to_string(input) + " " + name;
    if (std::system(move.c_str()) != 0) return false;
    processEventsUntil([&] { return ourSinkInput().second == sink; }, 1s);
  }
  return ourSinkInput().second == sink;
}

// The figures standard error said, in ms ("TAKTOVI: HÖRLATENZ 179,7 MS (VOM TONSERVER)").
std::vector<double> heardLatenciesSaid(const std::string& text) {
  std::vector<double> said;
  const std::string key = "HÖRLATENZ ";
  for (auto at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
    long ms = 0, tenths = 0;
    if (std::sscanf(text.c_str() + at + key.size(), "%ld,%ld", &ms, &tenths) == 2)
      said.push_back(static_cast<double>(ms) + static_cast<double>(tenths) / 10);
  }
  return said;
}

// A headset connected mid-session: the program's stream moves to a sink whose device declares
// 150 ms of its own. The heard latency takes them in, the timing trainer's window on the real
// engine judges presses with the new figure, and standard error says it. `driver`: SDL's audio
// driver, or null for the one SDL picks.
void expectTheDevicesOwnDelayCounts(const char* driver, const char* label) {
  SoundServer server(SoundServer::Kind::PipeWire);
  ASSERT_TRUE(server.start()) << label;
  if (driver != nullptr)
    setenv("SDL_AUDIODRIVER", driver, 1);
  else
    unsetenv("SDL_AUDIODRIVER");
  std::string saidText;
  int64_t heard = 0;
  testing::internal::CaptureStderr();
  {
    struct TakeBack {  // standard error, however the block ends
      std::string& text;
      ~TakeBack() { text = testing::internal::GetCapturedStderr(); }
    } takeBack{saidText};
    ProgramOnTheEngine<TimingWindow> program;
    const AudioEngine& engine = program.engine;
    ASSERT_TRUE(processEventsUntil([&] { return engine.heardLatencyFromServer(); }, 10s)) << label;
    processEventsUntil([] { return false; }, 1s);  // the stream's buffer settles
    const int64_t plain = engine.heardLatencyNs();
    ASSERT_EQ(std::system("pw-cli s hs ProcessLatency '{ ns = 150000000 }' >/dev/null"), 0) << label;
    const int64_t moved = program.clock.nowNs();
    ASSERT_TRUE(moveOurStream("hs")) << label << "\n" << sinkInputs();
    auto declared = [&] { return std::llabs(engine.heardLatencyNs() - plain - 150'000'000) < 3'000'000; };
    EXPECT_TRUE(processEventsUntil(declared, 10s)) << label << ": " << engine.heardLatencyNs() / 1e6 << " ms";
    const double followed = seconds(program.clock.nowNs() - moved);
    processEventsUntil([] { return false; }, 500ms);  // nothing moves it further
    heard = engine.heardLatencyNs();
    EXPECT_NEAR(static_cast<double>(heard - plain), 150e6, 3e6) << label;
    EXPECT_EQ(TimingTestView{*program.form}.sound().heardLatencyNs(), heard) << label;
    std::printf(
        "[ figures  ] %s: heard latency %.1f ms on the null sink, %.1f ms on the sink declaring 150 ms, "
        "followed %.2f s after the move\n",
        label, plain / 1e6, heard / 1e6, followed);
  }
  const std::vector<double> said = heardLatenciesSaid(saidText);
  ASSERT_FALSE(said.empty()) << label;
  EXPECT_NEAR(said.back(), heard / 1e6, 2.1) << label << ": the figure in use was not said\n" << saidText;
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}

}  // namespace

TEST(SoundServerRestart, BothProgramsSoundOnceALateServerIsUpOnPulseAudio) {
  expectRoundsSoundOnceALateServerIsUp<ChoiceWindow>(SoundServer::Kind::Pulse, kChoiceControls);
  expectRoundsSoundOnceALateServerIsUp<TimingWindow>(SoundServer::Kind::Pulse, kTimingControls);
}

TEST(SoundServerRestart, BothProgramsSoundOnceALateServerIsUpOnPipeWire) {
  expectRoundsSoundOnceALateServerIsUp<ChoiceWindow>(SoundServer::Kind::PipeWire, kChoiceControls);
  expectRoundsSoundOnceALateServerIsUp<TimingWindow>(SoundServer::Kind::PipeWire, kTimingControls);
}

TEST(SoundServerRestart, EngineFindsALateServerAndTonesComeBackOnPulseAudio) {
  expectALateServerIsFound(SoundServer::Kind::Pulse);
  expectTonesComeBack(SoundServer::Kind::Pulse, nullptr, "PulseAudio");
}

TEST(SoundServerRestart, EngineTonesComeBackOnPipeWireThroughBothDrivers) {
  expectTonesComeBack(SoundServer::Kind::PipeWire, nullptr, "PipeWire, pulseaudio driver");
  expectTonesComeBack(SoundServer::Kind::PipeWire, "pipewire", "PipeWire, native driver");
}

TEST(SoundServerRestart, BothProgramsSoundTestAndPanelFollowTheOutput) {
  SoundServer server(SoundServer::Kind::PipeWire);
  ASSERT_TRUE(server.start());
  unsetenv("SDL_AUDIODRIVER");
  expectSoundTestAndNoteAcrossARestart<ChoiceWindow>(server, "MIDINI1", "Button4");
  expectSoundTestAndNoteAcrossARestart<TimingWindow>(server, "NI1", "Button2");
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}

TEST(SoundServerLatency, TheDevicesOwnDelayCountsOnPipeWireThroughBothDrivers) {
  expectTheDevicesOwnDelayCounts(nullptr, "PipeWire, pulseaudio driver");
  expectTheDevicesOwnDelayCounts("pipewire", "PipeWire, native driver");
}
