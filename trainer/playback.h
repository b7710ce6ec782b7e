#pragma once
// The playback loop both trainers share: mskello turns soita_tehtava until the pattern's end
// marker (or 20000 ms) and lets the window handle its messages between turns. Each slot is
// timed from its own tone's start: the tone starts, ends once aanisuhde x kesto has passed,
// and the next slot follows once kesto has passed. A turn waits for the next decision's
// deadline instead of spinning; every test is "strictly later than" on the millisecond clock.
// What each program adds around these steps comes in as hooks.

#include <cstdint>
#include <functional>

#include "kit/event_pump.h"
#include "platform/clock.h"
#include "sound/sound_output.h"
#include "trainer/settings.h"
#include "trainer/tomapaneli.h"

namespace taktovi {

inline constexpr uint32_t kMelodyLimitMs = 20000;

struct PlaybackHooks {
  // A slot's tone has just been started at `now` (highlighting, the answer window's times).
  std::function<void(int slot, Tomapaneli& r, uint32_t now)> toneStarted;
  // A slot's tone has just been ended at `now` (also when the time limit ends it).
  std::function<void(int slot, uint32_t now)> toneEnded;
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
  uint32_t savelen_alku = 0;
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
  // Plays from the cued slot until the end of the pattern or the time limit; the time limit
  // ends the playback as the end of the pattern would.
  void mskello(uint32_t alku);
  // Takes the playback's decisions due by now, as the loop's next turn would; for a handler
  // that runs between two turns and must see the melody as it stands.
  void catchUp() {
    if (inLoop_ && s_.soi) soita_tehtava();
  }
  // Ends the sounding tone now (a message is about to hold the window); the melody goes on.
  void silence() {
    if (s_.soi && s_.savel_soi) endTone();
  }
  // The program is closing (EXIT, the switch, the window's frame): the tone ended, the loop and
  // every wait left at once, and no round starts any more. No end hook runs.
  void stop();

  const PlaybackState& state() const { return s_; }
  bool soi() const { return s_.soi; }

 private:
  void soita_tehtava();
  void end();
  void endTone();
  bool isLast() const { return s_.kohta >= pool_.size() || pool_[s_.kohta + 1]->vasen == 0; }
  uint32_t nextDecision(uint32_t alku) const;

  const Clock& clock_;
  EventPump& pump_;
  SoundOutput& sound_;
  const RectanglePool& pool_;
  const TempoSettings& settings_;
  PlaybackHooks hooks_;
  PlaybackState s_;
  bool closing_ = false;
  bool inLoop_ = false;  // mskello is running
};

}  // namespace taktovi
