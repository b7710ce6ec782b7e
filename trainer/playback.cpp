#include "trainer/playback.h"

#include <algorithm>
#include <cmath>

namespace taktovi {

namespace {
// Whether the clock's millisecond `now` has reached `due` (wrap-safe).
bool reached(uint32_t now, uint32_t due) {
  return static_cast<int32_t>(now - due) >= 0;
}
}  // namespace

PatternPlayer::PatternPlayer(const Clock& clock, EventPump& pump, SoundOutput& sound,
                             const RectanglePool& pool, const TempoSettings& settings, PlaybackHooks hooks)
    : clock_(clock), pump_(pump), sound_(sound), pool_(pool), settings_(settings), hooks_(std::move(hooks)) {}

void PatternPlayer::cue(int first) {
  s_.kohta = first;
  s_.savel_alkanut = false;
}

void PatternPlayer::mskello(uint32_t alku) {
  inLoop_ = true;
  alku_ = alku;
  s_.savelen_alku = alku;
  handed_ = sound_.schedulesAhead();
  if (handed_) handOver(kNow);
  do {
    s_.kulunut = static_cast<int32_t>(clock_.timeGetTime() - alku);
    soita_tehtava();
    // Between decisions the window handles its messages; a turn waits for the next one.
    pump_.waitUntil(nextDecision());
  } while (s_.soi && s_.kulunut <= static_cast<int32_t>(kMelodyLimitMs));
  inLoop_ = false;
  if (s_.soi) end(alku + kMelodyLimitMs + 1);
}

void PatternPlayer::soita_tehtava() {
  const uint32_t now = clock_.timeGetTime();
  if (handed_ && (replanDue_ || sound_.changes() != handedChanges_ || settings_.aanisuhde != handedShare_)) {
    // The tone share, the sound's mode, instrument or device changed, or a message silenced the
    // tone: what was handed over for after now goes, and the rest is handed over again.
    const int64_t cutNs = clock_.nowNs();
    sound_.cancelScheduled();
    handOver(cutNs);
  }
  drawHeard(false);
  if (!s_.savel_alkanut) startTone(now);
  const Tomapaneli& r = *pool_[s_.kohta];
  if (s_.savel_soi && reached(now, after(r.kesto * settings_.aanisuhde)))
    endTone(after(r.kesto * settings_.aanisuhde));
  if (!reached(now, after(r.kesto))) return;
  if (!isLast()) {
    // The next slot begins at this slot's planned end, in this same turn.
    s_.savelen_alku = after(r.kesto);
    ++s_.kohta;
    s_.savel_alkanut = false;
    startTone(now);
  } else if (reached(now, after(hooks_.holdLastSlotMs))) {
    end(now);
  }
}

void PatternPlayer::startTone(uint32_t now) {
  Tomapaneli& r = *pool_[s_.kohta];
  // A device that plays each message when it is sent: a turn later than planned moves the plan
  // to the tone's actual start, and from here on every slot counts from it. A melody handed over
  // ahead keeps its plan whatever the turns do.
  if (!handed_ && clock_.nowNs() > clock_.nsOfMs(s_.savelen_alku)) s_.savelen_alku = now;
  const int64_t atNs = clock_.nsOfMs(s_.savelen_alku);
  if (!handed_) sound_.aloita_savel(r.savel, atNs);
  s_.savel_alkanut = true;
  s_.savel_soi = true;
  if (hooks_.toneStarted) hooks_.toneStarted(played(), r, s_.savelen_alku);
  if (hooks_.toneHeard) heard_.push_back({atNs + sound_.heardLatencyNs(), s_.kohta});
}

void PatternPlayer::endTone(uint32_t at) {
  if (!handed_) sound_.lopeta_savel(clock_.nsOfMs(at));
  s_.savel_soi = false;
  if (hooks_.toneEnded) hooks_.toneEnded(played(), at);
}

// The playback is over. A tone still sounding (the time limit) ends at `toneEndAt` or at its
// own planned end, whichever comes first; what is still to be drawn with a tone is drawn now.
void PatternPlayer::end(uint32_t toneEndAt) {
  if (s_.savel_soi) {
    const uint32_t own = after(pool_[s_.kohta]->kesto * settings_.aanisuhde);
    endTone(reached(toneEndAt, own) ? own : toneEndAt);
  }
  drawHeard(true);
  s_.soi = false;
  if (hooks_.ended) hooks_.ended();
}

void PatternPlayer::drawHeard(bool all) {
  const int64_t now = clock_.nowNs();
  size_t drawn = 0;
  while (drawn < heard_.size() && (all || heard_[drawn].atNs <= now)) {
    const int slot = heard_[drawn++].slot;
    hooks_.toneHeard(slot, *pool_[slot]);
  }
  heard_.erase(heard_.begin(), heard_.begin() + static_cast<std::ptrdiff_t>(drawn));
}

void PatternPlayer::stop() {
  if (s_.soi && handed_) {
    sound_.cancelScheduled();
    sound_.lopeta_savel();  // whatever sounds of the melody, now
  } else if (s_.soi && s_.savel_soi) {
    sound_.lopeta_savel();
  }
  s_.savel_soi = false;
  heard_.clear();
  s_.soi = false;
  closing_ = true;
  pump_.wake();
}

void PatternPlayer::silence() {
  if (!s_.soi) return;
  if (handed_) {
    sound_.cancelScheduled();
    sound_.lopeta_savel();
    replanDue_ = true;  // the next turn hands the rest over again
  } else if (s_.savel_soi) {
    endTone(clock_.timeGetTime());
  }
}

// Hands the sound output every tone of the melody from the current slot on that is planned for
// after `fromNs` (kNow: all of them), at its planned times: each slot at the previous one's start
// plus the first whole millisecond past its kesto, its tone ending at the first millisecond past
// aanisuhde x kesto, as the turns take them; slots starting after the time limit are left out,
// and a tone sounding at the limit ends there.
void PatternPlayer::handOver(int64_t fromNs) {
  replanDue_ = false;
  handedChanges_ = sound_.changes();
  handedShare_ = settings_.aanisuhde;
  const uint32_t limit = alku_ + kMelodyLimitMs + 1;
  auto hand = [&](uint32_t at, auto call) {
    const int64_t atNs = clock_.nsOfMs(at);
    if (fromNs == kNow || atNs > fromNs) call(atNs);
  };
  uint32_t start = s_.savelen_alku;
  for (int k = s_.kohta;; ++k) {
    const Tomapaneli& r = *pool_[k];
    const bool current = k == s_.kohta;
    if (!current || !s_.savel_alkanut) hand(start, [&](int64_t at) { sound_.aloita_savel(r.savel, at); });
    if (!current || !s_.savel_alkanut || s_.savel_soi) {
      const uint32_t own = plannedAfter(start, r.kesto * handedShare_);
      hand(reached(own, limit) ? limit : own, [&](int64_t at) { sound_.lopeta_savel(at); });
    }
    if (pool_.lastOfPattern(k)) break;
    start = plannedAfter(start, r.kesto);
    if (!reached(limit, start)) break;
  }
}

PlayedSlot PatternPlayer::played() const {
  const bool last = isLast();
  return {s_.kohta, last, !last && pool_.lastOfPattern(s_.kohta + 1)};
}

uint32_t PatternPlayer::plannedAfter(uint32_t start, double span) {
  return start + static_cast<uint32_t>(std::max(0.0, std::floor(span))) + 1;
}

uint32_t PatternPlayer::nextDecision() const {
  const uint32_t now = clock_.timeGetTime();
  if (!s_.soi || !s_.savel_alkanut) return now;
  const Tomapaneli* r = pool_[s_.kohta];
  double span = r->kesto;
  if (s_.savel_soi) {
    span = r->kesto * settings_.aanisuhde;
  } else if (isLast()) {
    span = std::max(span, hooks_.holdLastSlotMs);
  }
  uint32_t due = after(span);
  const uint32_t limit = alku_ + kMelodyLimitMs + 1;
  if (static_cast<int32_t>(limit - due) < 0) due = limit;
  if (!heard_.empty()) {
    const int64_t heardNs = heard_.front().atNs;
    const auto heardMs =
        static_cast<uint32_t>((heardNs + 999'999) / 1'000'000);  // the first ms at or past it
    if (static_cast<int32_t>(heardMs - due) < 0) due = heardMs;
  }
  return due;
}

}  // namespace taktovi
