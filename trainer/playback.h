#pragma once
// The playback loop both trainers share: mskello turns soita_tehtava until the pattern's end
// marker (or 20000 ms) and lets the window handle its messages between turns. A turn waits
// for the next decision's deadline instead of spinning; every test is "strictly later than"
// on the millisecond clock.
//
// The times are planned, not taken: slot k starts at slot k-1's planned start plus the first
// whole millisecond past its kesto; its tone ends at its planned start plus the first
// millisecond past aanisuhde x kesto. Where the sound's device schedules (the built-in
// synthesizer, WAV mode), the whole melody is handed over at its start with these times, and
// the turns only do what the window does in step with it: a stalled UI thread moves no tone.
// A change of the tone share or of the sound's mode, instrument or device in the middle of it
// hands the rest over again. A device that plays each message when it is sent (a sequencer
// port) gets each at its turn; there a late turn moves the plan: that tone, and every later
// one, count from the tone's actual start (a delay is never made up by hurrying). With every
// turn on time this is the loop that takes each slot's start from the clock.
//
// What each program adds around these steps comes in as hooks. What the window draws in
// step with a tone (toneHeard) is drawn when the tone is heard: its planned time plus the
// sound's heard latency.

#include <cstdint>
#include <functional>
#include <vector>

#include "kit/event_pump.h"
#include "platform/clock.h"
#include "sound/sound_output.h"
#include "trainer/settings.h"
#include "trainer/tomapaneli.h"

namespace taktovi {

inline constexpr uint32_t kMelodyLimitMs = 20000;

// A slot of the melody as the hooks see it: where it is in the pool and in its pattern.
struct PlayedSlot {
  int index = 0;
  bool last = false;          // the pattern ends with it
  bool secondToLast = false;  // the pattern's next slot is its last
};

struct PlaybackHooks {
  // A slot's tone has just been started for its planned time `at` (clock ms): the answer
  // window's times.
  std::function<void(const PlayedSlot& slot, Tomapaneli& r, uint32_t at)> toneStarted;
  // A slot's tone is heard now: highlighting.
  std::function<void(int slot, Tomapaneli& r)> toneHeard;
  // A slot's tone has just been ended for its planned time `at` (also when the time limit
  // ends it).
  std::function<void(const PlayedSlot& slot, uint32_t at)> toneEnded;
  // The playback is over: after the last slot, or at the time limit.
  std::function<void()> ended;
  // The playback goes on at least this long after the last slot's start.
  double holdLastSlotMs = 0;
};

struct PlaybackState {
  bool soi = false;   // a round is in progress (the waits before the melody included)
  int32_t kohta = 0;  // the slot whose time is current
  bool savel_alkanut = false;
  bool savel_soi = false;
  uint32_t savelen_alku = 0;  // the current slot's planned start
  int32_t kulunut = 0;
};

class PatternPlayer {
 public:
  PatternPlayer(const Clock& clock, EventPump& pump, SoundOutput& sound, const RectanglePool& pool,
                const TempoSettings& settings, PlaybackHooks hooks);

  // soi := true: a round is in progress from here on (not once the program is closing).
  void hold() { s_.soi = !closing_; }
  // The next melody starts at slot `first`, with its tone.
  void cue(int first);
  // Plays from the cued slot, its tone planned for `alku`, until the end of the pattern or
  // the time limit; the time limit ends the playback as the end of the pattern would.
  void mskello(uint32_t alku);
  // Takes the playback's decisions due by now, as the loop's next turn would; for a handler
  // that runs between two turns and must see the melody as it stands, or has changed what it
  // plays (the tone share, the sound): what was handed over is handed over again at once.
  void catchUp() {
    if (inLoop_ && s_.soi) soita_tehtava();
  }
  // Ends the sounding tone now (a message is about to hold the window); the melody goes on.
  void silence();
  // The program is closing (EXIT, the switch, the window's frame): nothing handed over sounds
  // any more, the tone ended, the loop and every wait left at once, and no round starts any
  // more. No end hook runs.
  void stop();

  const PlaybackState& state() const { return s_; }
  bool soi() const { return s_.soi; }

 private:
  struct Heard {
    int64_t atNs;
    int slot;
  };

  void soita_tehtava();
  void startTone(uint32_t now);
  void endTone(uint32_t at);
  void end(uint32_t toneEndAt);
  void handOver(int64_t fromNs);
  void drawHeard(bool all);
  bool isLast() const { return pool_.lastOfPattern(s_.kohta); }
  PlayedSlot played() const;
  // The planned time `span` ms after the current slot's start: its first whole millisecond past.
  uint32_t after(double span) const { return plannedAfter(s_.savelen_alku, span); }
  // The planned time `span` ms after `start`: its first whole millisecond past.
  static uint32_t plannedAfter(uint32_t start, double span);
  uint32_t nextDecision() const;

  const Clock& clock_;
  EventPump& pump_;
  SoundOutput& sound_;
  const RectanglePool& pool_;
  const TempoSettings& settings_;
  PlaybackHooks hooks_;
  PlaybackState s_;
  uint32_t alku_ = 0;
  std::vector<Heard> heard_;  // tones started and not yet heard, in order
  bool closing_ = false;
  bool inLoop_ = false;  // mskello is running
  // The melody was handed over to the sound ahead (its device schedules), with the sound's
  // changes and the tone share of then; or it is to be handed over again.
  bool handed_ = false;
  uint64_t handedChanges_ = 0;
  double handedShare_ = 0;
  bool replanDue_ = false;
};

}  // namespace taktovi
