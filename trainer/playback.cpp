#include "trainer/playback.h"

#include <algorithm>
#include <cmath>

namespace taktovi {

PatternPlayer::PatternPlayer(const Clock& clock, EventPump& pump, SoundOutput& sound,
                             const RectanglePool& pool, const TempoSettings& settings, PlaybackHooks hooks)
    : clock_(clock), pump_(pump), sound_(sound), pool_(pool), settings_(settings), hooks_(std::move(hooks)) {}

void PatternPlayer::cue(int first) {
  s_.kohta = first;
  s_.savel_alkanut = false;
}

void PatternPlayer::mskello(uint32_t alku) {
  inLoop_ = true;
  do {
    s_.kulunut = static_cast<int32_t>(clock_.timeGetTime() - alku);
    soita_tehtava();
    // Between decisions the window handles its messages; a turn waits for the next one.
    pump_.waitUntil(nextDecision(alku));
  } while (s_.soi && s_.kulunut <= static_cast<int32_t>(kMelodyLimitMs));
  inLoop_ = false;
  if (s_.soi) end();
}

void PatternPlayer::soita_tehtava() {
  Tomapaneli& r = *pool_[s_.kohta];
  const auto since = [this] { return static_cast<double>(clock_.timeGetTime() - s_.savelen_alku); };
  if (!s_.savel_alkanut) {
    sound_.aloita_savel(r.savel);
    s_.savel_alkanut = true;
    s_.savel_soi = true;
    s_.savelen_alku = clock_.timeGetTime();
    if (hooks_.toneStarted) hooks_.toneStarted(s_.kohta, r, s_.savelen_alku);
  }
  if (s_.savel_soi && since() > r.kesto * settings_.aanisuhde) endTone();
  if (since() > r.kesto) {
    if (!isLast()) {
      ++s_.kohta;
      s_.savel_alkanut = false;
    } else if (since() > hooks_.holdLastSlotMs) {
      end();
    }
  }
}

void PatternPlayer::endTone() {
  sound_.lopeta_savel();
  s_.savel_soi = false;
  if (hooks_.toneEnded) hooks_.toneEnded(s_.kohta, clock_.timeGetTime());
}

void PatternPlayer::end() {
  if (s_.savel_soi) endTone();
  s_.soi = false;
  if (hooks_.ended) hooks_.ended();
}

void PatternPlayer::stop() {
  if (s_.soi && s_.savel_soi) {
    sound_.lopeta_savel();
    s_.savel_soi = false;
  }
  s_.soi = false;
  closing_ = true;
  pump_.wake();
}

uint32_t PatternPlayer::nextDecision(uint32_t alku) const {
  const uint32_t now = clock_.timeGetTime();
  const uint32_t limit = alku + kMelodyLimitMs + 1;
  if (!s_.soi || !s_.savel_alkanut) return now;
  const Tomapaneli* r = pool_[s_.kohta];
  double span = r->kesto;
  if (s_.savel_soi) {
    span = r->kesto * settings_.aanisuhde;
  } else if (isLast()) {
    span = std::max(span, hooks_.holdLastSlotMs);
  }
  // Each test is "strictly later than": the first whole millisecond past the span.
  const uint32_t due = s_.savelen_alku + static_cast<uint32_t>(std::max(0.0, std::floor(span))) + 1;
  return static_cast<int32_t>(due - limit) < 0 ? due : limit;
}

}  // namespace taktovi
