// The audio thread's side of the built-in synthesizer.
#include "synth/builtin_synth.h"

#include <algorithm>
#include <cstring>

#include "synth/loaded_synth.h"

namespace taktovi {

BuiltinSynth::BuiltinSynth() {
  std::fill(std::begin(program_), std::end(program_), int16_t{-1});
  for (auto& ch : controller_) std::fill(std::begin(ch), std::end(ch), int16_t{-1});
}

void BuiltinSynth::adopt(LoadedSynth* s) {
  synth_ = s;
  wantsLoad_ = false;
  if (synth_ == nullptr) return;
  // Controllers first: a bank select counts for the program change that follows it.
  for (int ch = 0; ch < 16; ++ch)
    for (int c = 0; c < 128; ++c)
      if (controller_[ch][c] >= 0) fluid_synth_cc(synth_->synth, ch, c, controller_[ch][c]);
  for (int ch = 0; ch < 16; ++ch) selectProgram(ch, std::max<int>(program_[ch], 0), program_[ch] >= 0);
  for (int i = 0; i < preloadCount_; ++i) preload(static_cast<int>(preloads_[i] >> 7), preloads_[i] & 0x7F);
  preloadCount_ = 0;
  applyVolume();
}

LoadedSynth* BuiltinSynth::release() {
  LoadedSynth* s = synth_;
  synth_ = nullptr;
  return s;
}

LoadedSynth* BuiltinSynth::lendForLoading() {
  if (synth_ != nullptr) fluid_synth_all_sounds_off(synth_->synth, -1);
  wantsLoad_ = false;
  return release();
}

void BuiltinSynth::selectProgram(int channel, int program, bool ask) {
  fluid_synth_t* s = synth_->synth;
  int sfont = 0, bank = 0, current = 0;
  fluid_synth_get_program(s, channel, &sfont, &bank, &current);
  // FluidSynth's own choice: channel 10 is the drum channel (nothing here changes channel
  // types) and plays the drum bank; a missing preset falls back to the drum bank's program
  // 0, or to bank 0's program and then bank 0's program 0.
  const bool drums = channel == 9;
  PresetSlot* p = synth_->find(drums ? 128 : bank, program);
  if (p == nullptr) p = drums ? synth_->find(128, 0) : synth_->find(0, program);
  if (p == nullptr && !drums) p = synth_->find(0, 0);
  if (p != nullptr && p->state == PresetState::Pinned) {
    fluid_synth_program_select(s, channel, synth_->sfontId, p->bank, p->program);
    if (!drums) fluid_synth_bank_select(s, channel, bank);  // the channel keeps the bank it was given
    return;
  }
  // Selecting an unloaded preset would read its samples here: the channel stays silent
  // until the worker has loaded it.
  fluid_synth_unset_program(s, channel);
  if (ask && p != nullptr && p->state == PresetState::Unloaded) {
    p->state = PresetState::Wanted;
    wantsLoad_ = true;
  }
}

void BuiltinSynth::preload(int bank, int program) {
  if (synth_ == nullptr) {
    const uint32_t key = static_cast<uint32_t>(bank) << 7 | static_cast<uint32_t>(program);
    const bool kept = std::find(preloads_, preloads_ + preloadCount_, key) != preloads_ + preloadCount_;
    if (!kept && preloadCount_ < kMaxPreloads) preloads_[preloadCount_++] = key;
    return;
  }
  PresetSlot* p = synth_->find(bank, program);
  if (p != nullptr && p->state == PresetState::Unloaded) {
    p->state = PresetState::Wanted;
    wantsLoad_ = true;
  }
}

void BuiltinSynth::shortMessage(uint32_t packed) {
  const int status = packed & 0xFF;
  const int d1 = (packed >> 8) & 0x7F;
  const int d2 = (packed >> 16) & 0x7F;
  const int ch = status & 0x0F;
  const int kind = status & 0xF0;
  // Channel state is kept whether or not the synthesizer is there.
  if (kind == 0xC0) program_[ch] = static_cast<int16_t>(d1);
  if (kind == 0xB0 && d1 < 120) controller_[ch][d1] = static_cast<int16_t>(d2);
  if (synth_ == nullptr) return;
  fluid_synth_t* s = synth_->synth;
  switch (kind) {
    case 0x80:
      fluid_synth_noteoff(s, ch, d1);
      break;
    case 0x90:
      d2 == 0 ? fluid_synth_noteoff(s, ch, d1) : fluid_synth_noteon(s, ch, d1, d2);
      break;
    case 0xA0:
      fluid_synth_key_pressure(s, ch, d1, d2);
      break;
    case 0xB0:
      fluid_synth_cc(s, ch, d1, d2);
      break;
    case 0xC0:
      selectProgram(ch, d1, true);
      break;
    case 0xD0:
      fluid_synth_channel_pressure(s, ch, d1);
      break;
    case 0xE0:
      fluid_synth_pitch_bend(s, ch, d1 | d2 << 7);
      break;
    default:
      break;
  }
}

void BuiltinSynth::reset() {
  if (synth_ == nullptr) return;
  fluid_synth_all_notes_off(synth_->synth, -1);
  fluid_synth_all_sounds_off(synth_->synth, -1);
}

void BuiltinSynth::setVolume(float fraction) {
  volume_ = std::clamp(fraction, 0.0f, 1.0f);
  applyVolume();
}

void BuiltinSynth::applyVolume() {
  if (synth_ != nullptr) fluid_synth_set_gain(synth_->synth, synth_->fullGain * volume_);
}

void BuiltinSynth::renderBlock(float* left, float* right) {
  if (synth_ == nullptr) {
    std::memset(left, 0, sizeof(float) * kBlock);
    std::memset(right, 0, sizeof(float) * kBlock);
    return;
  }
  fluid_synth_write_float(synth_->synth, kBlock, left, 0, 1, right, 0, 1);
}

}  // namespace taktovi
