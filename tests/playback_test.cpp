#include <gtest/gtest.h>

#include <algorithm>

#include "audio/engine_mixer.h"
#include "support/offline_run.h"
#include "support/recording_midi_out.h"
#include "support/recording_mixer.h"
#include "support/scripted_pump.h"
#include "support/wav_builder.h"
#include "trainer/pattern.h"
#include "trainer/playback.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {

// The shared playback loop over a pool of its own, on the test clock.
struct Loop {
  explicit Loop(const char* pattern, PlaybackHooks extra = {}) {
    for (int i = 0; i < 12; ++i) {
      owned.push_back(std::make_unique<Tomapaneli>());
      pool.add(owned.back().get());
    }
    sound.startUp();
    sound.finishCreation();
    const std::vector<int32_t> x(20, 10);
    writePattern(parsePattern(pattern), {x, {0, 1, 1, 1, 1, 1, 1}, 1},
                 {settings.isku, settings.puoli_isku, sound.korkeudet()}, pool, 1);
    hooks = std::move(extra);
    hooks.toneStarted = [this, inner = hooks.toneStarted](const PlayedSlot& slot, Tomapaneli& r,
                                                          uint32_t now) {
      starts.push_back({slot.index, now});
      if (inner) inner(slot, r, now);
    };
    hooks.ended = [this] { endedAt.push_back(clock.timeGetTime()); };
    hooks.toneHeard = [this](int slot, Tomapaneli&) { heard.push_back({slot, clock.timeGetTime()}); };
    player = std::make_unique<PatternPlayer>(clock, pump, sound, pool, settings, hooks);
  }
  void play(uint32_t at) {
    pump.runUntil(at);
    player->hold();
    player->cue(1);
    player->mskello(clock.timeGetTime());
  }
  // Note-on times and the all-notes-off that follows each.
  std::vector<std::pair<double, double>> tones() const {
    std::vector<std::pair<double, double>> out;
    for (const auto& c : midi.calls) {
      if (c.op != "msg") continue;
      if ((c.b & 0xF0) == 0x90 || (c.b & 0xF0) == 0x80) out.push_back({c.atMs, -1});
      if (c.b == kAllNotesOff && !out.empty() && out.back().second < 0) out.back().second = c.atMs;
    }
    return out;
  }

  TestClock clock;
  ScriptedPump pump{clock};
  RecordingMidiOut midi{{{"Synth"}}, &clock};
  RecordingMixer mixer;
  SoundOutput sound{{{}, midi, mixer, clock, "/nonexistent/", nullptr}};
  TempoSettings settings;
  std::vector<std::unique_ptr<Tomapaneli>> owned;
  RectanglePool pool;
  PlaybackHooks hooks;
  std::unique_ptr<PatternPlayer> player;
  std::vector<std::pair<int, uint32_t>> starts;
  std::vector<uint32_t> endedAt;
  std::vector<std::pair<int, uint32_t>> heard;
};

}  // namespace

TEST(Playback, EachSlotTimedFromItsOwnToneStart) {
  Loop loop("1 2h 2h R 3");
  loop.play(1000);
  const auto t = loop.tones();
  ASSERT_EQ(t.size(), 5u);
  // "Strictly later than" on the millisecond clock: 550 ms of 1000 ends in the 551st.
  const double on[] = {1000, 2001, 2502, 3003, 4004};
  const double off[] = {1551, 2277, 2778, -1, 4555};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(t[static_cast<size_t>(i)].first, on[i]) << i;
    if (off[i] > 0) {
      EXPECT_EQ(t[static_cast<size_t>(i)].second, off[i]) << i;
    }
  }
  const auto words = loop.midi.messages();
  EXPECT_EQ(std::count_if(words.begin(), words.end(), [](uint32_t w) { return (w & 0xF0) == 0x80; }),
            1);  // the rest
  EXPECT_EQ(loop.endedAt, std::vector<uint32_t>{5005});
  EXPECT_FALSE(loop.player->soi());
  ASSERT_EQ(loop.starts.size(), 5u);
  EXPECT_EQ(loop.starts[4], (std::pair<int, uint32_t>{5, 4004}));
  // The loop waits for its decisions instead of turning idly: a few waits a slot.
  EXPECT_LE(loop.pump.waits(), 5u * 4);
}

TEST(Playback, LastSlotHeldAndToneShareReadLive) {
  PlaybackHooks hold;
  hold.holdLastSlotMs = 2000;
  Loop loop("1 1", hold);
  loop.pump.observe(1100, [&] {  // during the second tone, as the window's handler does
    loop.settings.share(80);
    loop.player->catchUp();
  });
  loop.play(0);
  const auto t = loop.tones();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0].second, 551);
  EXPECT_EQ(t[1].second, 1001 + 801);  // the new share ends the sounding tone
  EXPECT_EQ(loop.endedAt,
            std::vector<uint32_t>{1001 + 2001});  // not at the slot's end, 2000 ms after its start
}

TEST(Playback, TimeLimitEndsAsTheEndWould) {
  Loop loop("1 1 1 1");
  loop.pool[2]->kesto = 40000;  // its tone would sound 22000 ms
  loop.play(0);
  const auto t = loop.tones();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1].second, 20001);  // the sounding tone is ended
  EXPECT_EQ(loop.endedAt, std::vector<uint32_t>{20001});
  EXPECT_FALSE(loop.player->soi());
}

TEST(Playback, StopEndsTheToneAndEveryLaterWait) {
  Loop loop("1 1 1");
  loop.pump.observe(1200, [&] { loop.player->stop(); });
  loop.play(0);
  const auto t = loop.tones();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1].second, 1200);
  EXPECT_TRUE(loop.endedAt.empty());  // a stop is no end of the playback
  // The program is closing: no round starts again and waits return at once.
  loop.player->hold();
  EXPECT_FALSE(loop.player->soi());
  const double before = loop.clock.timeGetTime();
  loop.pump.blockUntil(static_cast<uint32_t>(before) + 2000);
  EXPECT_EQ(loop.clock.timeGetTime(), before);
}

TEST(Playback, AMelodyAcrossTheMillisecondClocksWrap) {
  // The 32-bit millisecond clock wraps 1.5 s into the melody: every message still goes out at
  // its planned time, none early (a port would play it at once), and the slots keep their grid.
  Loop loop("1 1 1 1");
  loop.midi.schedules = false;  // each message at its turn
  const double startMs = 4294967296.0 - 1500;
  loop.clock.setNs(static_cast<int64_t>(startMs) * 1'000'000);
  loop.player->hold();
  loop.player->cue(1);
  loop.player->mskello(loop.clock.timeGetTime());
  const auto t = loop.tones();
  ASSERT_EQ(t.size(), 4u);
  for (size_t i = 0; i < t.size(); ++i) EXPECT_EQ(t[i].first - startMs, 1001.0 * static_cast<double>(i)) << i;
  for (const MidiCall& c : loop.midi.calls) {
    if (c.op != "msg") continue;
    EXPECT_EQ(c.timeMs, c.atMs) << std::hex << c.b;
  }
  EXPECT_FALSE(loop.player->soi());
}

TEST(Playback, LateTurnsMoveNoToneOfAMelodyHandedOverAheadButAPortsPlan) {
  // Handed over whole at its start, a melody keeps every planned time however late its turns
  // come, a stall of a second included; the window's steps keep the planned times too, and each
  // tone is drawn when it is heard (its planned time plus the heard latency) or, after a stall,
  // at once.
  Loop loop("1 1 1 1");
  loop.midi.latencyNs = 40'000'000;
  loop.pump.observe(2001, [&] { loop.clock.advanceMs(31); });    // the turn that starts slot 3
  loop.pump.observe(3002, [&] { loop.clock.advanceMs(1000); });  // slot 4's: a stall
  loop.play(0);
  const auto t = loop.tones();
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[2], (std::pair<double, double>{2002, 2553}));
  EXPECT_EQ(t[3], (std::pair<double, double>{3003, 3554}));
  for (const MidiCall& c : loop.midi.calls) {
    if (c.op != "msg") continue;
    EXPECT_EQ(c.timeMs, 0) << "handed over at the melody's start: " << c.atMs;
  }
  EXPECT_EQ(loop.starts[3].second, 3003u);
  ASSERT_EQ(loop.heard.size(), 4u);
  EXPECT_EQ(loop.heard[2], (std::pair<int, uint32_t>{3, 2042}));
  EXPECT_EQ(loop.heard[3], (std::pair<int, uint32_t>{4, 4002}));

  // A port plays a message when it is sent: a late turn moves the plan, and a delay is not made
  // up later by hurrying.
  Loop port("1 1 1 1");
  port.midi.schedules = false;
  port.pump.observe(2001, [&] { port.clock.advanceMs(31); });
  port.play(0);
  const auto p = port.tones();
  ASSERT_EQ(p.size(), 4u);
  EXPECT_EQ(p[2], (std::pair<double, double>{2032, 2583}));
  EXPECT_EQ(p[3], (std::pair<double, double>{3033, 3584}));
}

TEST(Playback, AStalledUiThreadMovesNoToneOnTheEngine) {
  // WAV mode on the real engine, rendered offline as a device would render it: the UI thread is
  // held a second in the middle of the melody while the audio thread goes on, and every tone still
  // starts at its planned frame (its planned time plus the heard latency).
  TestClock clock;
  AudioEngine engine(clock, offline({}));
  OfflineRun run(engine, clock);
  EngineMixerFactory mixers(&engine);
  TempDir dir;
  std::vector<int16_t> sine(88200);
  for (size_t i = 0; i < sine.size(); ++i) sine[i] = static_cast<int16_t>(9000 * std::sin(i * 0.0627));
  dir.write("piano.wav", pcmWave(pcm16(sine)));
  Loop loop("1 1 1 1 1");
  SoundOutput sound({{}, loop.midi, mixers, clock, dir.path().string() + "/", nullptr});
  sound.startUp();
  sound.finishCreation();
  sound.LuoDirectsound();
  ScriptedPump pump(clock);
  PatternPlayer player(clock, pump, sound, loop.pool, loop.settings, {});
  for (int ms = 0; ms < 7000; ms += 10) pump.observe(ms, [&run, ms] { run.runMs(ms); });
  pump.observe(2200, [&] { run.runMs(3200); });  // the UI thread held a second, the audio thread not
  pump.runUntil(500);
  player.hold();
  player.cue(1);
  player.mskello(clock.timeGetTime());
  run.runMs(8000);
  // Each tone rises through its gain's short ramp and the sine's first cycle from its frame on.
  for (int slot = 0; slot < 5; ++slot) {
    const int64_t planned = (500 + 1001 * int64_t{slot}) * 1'000'000 + engine.heardLatencyNs();
    const int64_t frame = std::llround(static_cast<double>(planned) * engine.rate() / 1e9);
    const int64_t onset = run.firstAbove(frame - 2000, 0.01f);
    EXPECT_GE(onset, frame) << "slot " << slot + 1;
    EXPECT_LE(onset, frame + 24) << "slot " << slot + 1;
  }
  EXPECT_EQ(engine.stats().lateCommands, 0u);
  EXPECT_EQ(engine.stats().staleCommands, 0u);
}
