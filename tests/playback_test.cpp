#include <gtest/gtest.h>

#include <algorithm>

#include "support/recording_midi_out.h"
#include "support/recording_mixer.h"
#include "support/scripted_pump.h"
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
  loop.pump.observe(1100, [&] { loop.settings.share(80); });  // during the second tone
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

TEST(Playback, ALateTurnKeepsThePlanUnlessLaterThanTheSoundsMargin) {
  Loop loop("1 1 1 1");
  loop.midi.marginNs = 50'000'000;
  loop.midi.latencyNs = 40'000'000;
  loop.pump.observe(2001, [&] { loop.clock.advanceMs(31); });  // the turn that starts slot 3: 30 ms late
  loop.pump.observe(3002, [&] { loop.clock.advanceMs(81); });  // slot 4's: later than the margin
  loop.play(0);
  const auto t = loop.tones();
  ASSERT_EQ(t.size(), 4u);
  // Slot 3 keeps its planned times, though its call came 30 ms late...
  EXPECT_EQ(t[2], (std::pair<double, double>{2002, 2553}));
  const auto calls = loop.midi.calls;
  const auto third =
      std::find_if(calls.begin(), calls.end(), [](const MidiCall& c) { return c.atMs == 2002; });
  ASSERT_NE(third, calls.end());
  EXPECT_EQ(third->timeMs, 2032);
  // ...slot 4 counts from its actual start: a delay is not made up later by hurrying.
  EXPECT_EQ(t[3], (std::pair<double, double>{3083, 3634}));
  EXPECT_EQ(loop.starts[2].second, 2002u);
  EXPECT_EQ(loop.starts[3].second, 3083u);
  // Each tone is drawn when it is heard: its planned time plus the heard latency.
  ASSERT_EQ(loop.heard.size(), 4u);
  EXPECT_EQ(loop.heard[1], (std::pair<int, uint32_t>{2, 1041}));
  EXPECT_EQ(loop.heard[2], (std::pair<int, uint32_t>{3, 2042}));
  EXPECT_EQ(loop.heard[3], (std::pair<int, uint32_t>{4, 3123}));
}
