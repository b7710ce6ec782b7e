#include "platform/builtin_synth.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

namespace taktovi {

struct LoadedSynth {
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  float fullGain = 0.2f;
};

std::vector<std::string> defaultSoundfonts() {
  return {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2",
          "/usr/share/sounds/sf2/TimGM6mb.sf2"};
}

std::string findSoundfont(const std::vector<std::string>& candidates) {
  for (const auto& c : candidates) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(c, ec) && fluid_is_soundfont(c.c_str())) return c;
  }
  return {};
}

namespace {

// The instruments' programs and the tones the exercises play (pitched at velocity 115,
// strong tone 60 at 127): the loudest of them sets the full-volume gain.
constexpr int kPrograms[] = {0, 12, 56, 71, 80, 88, 107};
constexpr int kNotes[][2] = {{50, 115}, {52, 115}, {54, 115}, {56, 115}, {58, 115}, {60, 115}, {60, 127}};
constexpr float kTargetPeak = 0.7079f;  // -3 dBFS

// Sounds off still lets voices ring out: render until the synthesizer is quiet.
void flush(fluid_synth_t* s, double rate) {
  fluid_synth_all_sounds_off(s, -1);
  fluid_synth_system_reset(s);
  float l[BuiltinSynth::kBlock], r[BuiltinSynth::kBlock];
  const int maxBlocks = static_cast<int>(10 * rate) / BuiltinSynth::kBlock;
  for (int b = 0, quiet = 0; b < maxBlocks && quiet < 32; ++b) {
    fluid_synth_write_float(s, BuiltinSynth::kBlock, l, 0, 1, r, 0, 1);
    float p = 0;
    for (int i = 0; i < BuiltinSynth::kBlock; ++i) p = std::max({p, std::fabs(l[i]), std::fabs(r[i])});
    quiet = p < 1e-6f ? quiet + 1 : 0;
  }
}

float peakOf(fluid_synth_t* s, int program, int note, int velocity, double rate) {
  flush(s, rate);
  fluid_synth_program_change(s, 0, program);
  fluid_synth_cc(s, 0, 7, 127);  // full channel volume, as the programs set it: the loudest a tone can be
  fluid_synth_noteon(s, 0, note, velocity);
  float l[BuiltinSynth::kBlock], r[BuiltinSynth::kBlock];
  float peak = 0;
  const int blocks = static_cast<int>(0.6 * rate) / BuiltinSynth::kBlock;
  for (int b = 0; b < blocks; ++b) {
    fluid_synth_write_float(s, BuiltinSynth::kBlock, l, 0, 1, r, 0, 1);
    for (int i = 0; i < BuiltinSynth::kBlock; ++i) peak = std::max({peak, std::fabs(l[i]), std::fabs(r[i])});
  }
  return peak;
}

void silenceFluidLog() {
  for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level) fluid_set_log_function(level, nullptr, nullptr);
}

}  // namespace

LoadedSynth* loadSynth(const std::string& soundfont, double rate) {
  silenceFluidLog();
  auto* ls = new LoadedSynth;
  ls->settings = new_fluid_settings();
  fluid_settings_setint(ls->settings, "synth.threadsafe-api", 0);
  fluid_settings_setnum(ls->settings, "synth.sample-rate", rate);
  fluid_settings_setint(ls->settings, "synth.reverb.active", 0);
  fluid_settings_setint(ls->settings, "synth.chorus.active", 0);
  fluid_settings_setint(ls->settings, "synth.polyphony", 64);
  fluid_settings_setnum(ls->settings, "synth.gain", ls->fullGain);
  ls->synth = new_fluid_synth(ls->settings);
  if (ls->synth == nullptr || fluid_synth_sfload(ls->synth, soundfont.c_str(), 1) == FLUID_FAILED) {
    freeSynth(ls);
    return nullptr;
  }
  float peak = 0;
  for (int p : kPrograms)
    for (const auto& n : kNotes) peak = std::max(peak, peakOf(ls->synth, p, n[0], n[1], rate));
  if (peak > 0) ls->fullGain = std::min(10.0f, ls->fullGain * kTargetPeak / peak);
  flush(ls->synth, rate);  // nothing of the calibration is left to hear
  fluid_synth_set_gain(ls->synth, ls->fullGain);
  return ls;
}

void freeSynth(LoadedSynth* s) {
  if (s == nullptr) return;
  if (s->synth != nullptr) delete_fluid_synth(s->synth);
  if (s->settings != nullptr) delete_fluid_settings(s->settings);
  delete s;
}

float calibratedGain(const LoadedSynth* s) { return s != nullptr ? s->fullGain : 0.0f; }

BuiltinSynth::BuiltinSynth() {
  std::fill(std::begin(program_), std::end(program_), int16_t{-1});
  for (auto& ch : controller_) std::fill(std::begin(ch), std::end(ch), int16_t{-1});
}

void BuiltinSynth::adopt(LoadedSynth* s) {
  synth_ = s;
  if (synth_ == nullptr) return;
  for (int ch = 0; ch < 16; ++ch) {
    if (program_[ch] >= 0) fluid_synth_program_change(synth_->synth, ch, program_[ch]);
    for (int c = 0; c < 128; ++c)
      if (controller_[ch][c] >= 0) fluid_synth_cc(synth_->synth, ch, c, controller_[ch][c]);
  }
  applyVolume();
}

LoadedSynth* BuiltinSynth::release() {
  LoadedSynth* s = synth_;
  synth_ = nullptr;
  return s;
}

void BuiltinSynth::shortMessage(uint32_t packed) {
  const int status = packed & 0xFF;
  const int d1 = (packed >> 8) & 0x7F;
  const int d2 = (packed >> 16) & 0x7F;
  const int ch = status & 0x0F;
  const int kind = status & 0xF0;
  // Channel state is kept whether or not the synthesizer is there yet.
  if (kind == 0xC0) program_[ch] = static_cast<int16_t>(d1);
  if (kind == 0xB0 && d1 < 120) controller_[ch][d1] = static_cast<int16_t>(d2);
  if (synth_ == nullptr) return;
  fluid_synth_t* s = synth_->synth;
  switch (kind) {
    case 0x80: fluid_synth_noteoff(s, ch, d1); break;
    case 0x90: d2 == 0 ? fluid_synth_noteoff(s, ch, d1) : fluid_synth_noteon(s, ch, d1, d2); break;
    case 0xA0: fluid_synth_key_pressure(s, ch, d1, d2); break;
    case 0xB0: fluid_synth_cc(s, ch, d1, d2); break;
    case 0xC0: fluid_synth_program_change(s, ch, d1); break;
    case 0xD0: fluid_synth_channel_pressure(s, ch, d1); break;
    case 0xE0: fluid_synth_pitch_bend(s, ch, d1 | d2 << 7); break;
    default: break;
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
