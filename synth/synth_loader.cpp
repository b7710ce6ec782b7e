// The worker's side of the built-in synthesizer: loading the soundfont with dynamic sample
// loading, pinning presets, calibrating the gain.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "synth/loaded_synth.h"

namespace taktovi {

std::vector<std::string> defaultSoundfonts() {
  return {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2",
          "/usr/share/sounds/sf2/TimGM6mb.sf2"};
}

FoundSoundfont findSoundfont(const std::vector<std::string>& candidates) {
  FoundSoundfont found;
  for (const auto& c : candidates) {
    std::error_code ec;
    if (!std::filesystem::exists(c, ec)) continue;
    if (std::filesystem::is_regular_file(c, ec) && fluid_is_soundfont(c.c_str())) {
      found.path = c;
      return found;
    }
    found.rejected = true;
  }
  return found;
}

namespace {

// --- file callbacks ---
// FluidSynth's open callback is given only the name the soundfont was loaded by, and its
// documentation lets that name be any identifier the loader understands. Ours is this
// prefix and the address of the SoundfontFile record, so each access is counted against
// the right synthesizer with no global state.
constexpr const char kNamePrefix[] = "taktovi-soundfont:";

struct OpenFile {
  std::FILE* file;
  SoundfontReads* reads;
};

void count(SoundfontReads* reads) {
  reads->all.fetch_add(1, std::memory_order_relaxed);
  if (reads->renderThread.load(std::memory_order_relaxed) == std::this_thread::get_id())
    reads->onRenderThread.fetch_add(1, std::memory_order_relaxed);
}

const SoundfontFile* fileNamed(const char* name) {
  const size_t prefix = sizeof kNamePrefix - 1;
  if (std::strncmp(name, kNamePrefix, prefix) != 0) return nullptr;
  uintptr_t address = 0;
  const char* end = name + std::strlen(name);
  if (std::from_chars(name + prefix, end, address, 16).ptr != end) return nullptr;
  return reinterpret_cast<const SoundfontFile*>(address);
}

void* openFile(const char* name) {
  const SoundfontFile* f = fileNamed(name);
  if (f == nullptr) return nullptr;
  count(f->reads);
  std::FILE* file = std::fopen(f->path.c_str(), "rb");
  if (file == nullptr) return nullptr;
  return new OpenFile{file, f->reads};
}

int readFile(void* buffer, fluid_long_long_t bytes, void* handle) {
  auto* h = static_cast<OpenFile*>(handle);
  count(h->reads);
  const auto n = static_cast<size_t>(bytes);
  return std::fread(buffer, 1, n, h->file) == n ? FLUID_OK : FLUID_FAILED;
}

int seekFile(void* handle, fluid_long_long_t offset, int origin) {
  auto* h = static_cast<OpenFile*>(handle);
  count(h->reads);
  return fseeko(h->file, static_cast<off_t>(offset), origin) == 0 ? FLUID_OK : FLUID_FAILED;
}

fluid_long_long_t tellFile(void* handle) {
  auto* h = static_cast<OpenFile*>(handle);
  count(h->reads);
  return ftello(h->file);
}

int closeFile(void* handle) {
  auto* h = static_cast<OpenFile*>(handle);
  count(h->reads);
  const int r = std::fclose(h->file);
  delete h;
  return r == 0 ? FLUID_OK : FLUID_FAILED;
}

// --- calibration ---
constexpr float kTargetPeak = 0.7079f;  // -3 dBFS
constexpr int kBlock = BuiltinSynth::kBlock;

float blockPeak(const float* l, const float* r) {
  float p = 0;
  for (int i = 0; i < kBlock; ++i) p = std::max({p, std::fabs(l[i]), std::fabs(r[i])});
  return p;
}

// Sounds off still lets voices ring out: render until the synthesizer is quiet. (A system
// reset would select presets on every channel, the drum kit among them, and load them.)
void quieten(fluid_synth_t* s, double rate) {
  fluid_synth_all_sounds_off(s, -1);
  float l[kBlock], r[kBlock];
  const int maxBlocks = static_cast<int>(10 * rate) / kBlock;
  for (int b = 0, quiet = 0; b < maxBlocks && quiet < 32; ++b) {
    fluid_synth_write_float(s, kBlock, l, 0, 1, r, 0, 1);
    quiet = blockPeak(l, r) < 1e-6f ? quiet + 1 : 0;
  }
}

float peakOf(LoadedSynth* ls, int program, SynthTone tone, double rate) {
  quieten(ls->synth, rate);
  fluid_synth_program_select(ls->synth, 0, ls->sfontId, 0, program);
  fluid_synth_noteon(ls->synth, 0, tone.note, tone.velocity);
  float l[kBlock], r[kBlock];
  float peak = 0;
  const int blocks = static_cast<int>(0.6 * rate) / kBlock;
  for (int b = 0; b < blocks; ++b) {
    fluid_synth_write_float(ls->synth, kBlock, l, 0, 1, r, 0, 1);
    peak = std::max(peak, blockPeak(l, r));
  }
  return peak;
}

void calibrate(LoadedSynth* ls, const SynthPlan& plan, double rate) {
  // At full channel volume: the loudest a tone can be played.
  int volume = 100;
  fluid_synth_get_cc(ls->synth, 0, 7, &volume);
  fluid_synth_cc(ls->synth, 0, 7, 127);
  float peak = 0;
  for (int program : plan.instruments) {
    const PresetSlot* p = ls->find(0, program);
    if (p == nullptr || p->state != PresetState::Pinned) continue;
    for (SynthTone tone : plan.loudestTones) peak = std::max(peak, peakOf(ls, program, tone, rate));
  }
  if (peak > 0) ls->fullGain = std::min(10.0f, ls->fullGain * kTargetPeak / peak);
  quieten(ls->synth, rate);  // nothing of the calibration is left to hear
  fluid_synth_cc(ls->synth, 0, 7, volume);
  fluid_synth_set_gain(ls->synth, ls->fullGain);
}

void silenceFluidLog() {
  for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
    fluid_set_log_function(level, nullptr, nullptr);
}

}  // namespace

void loadWantedPresets(LoadedSynth* s) {
  for (PresetSlot& p : s->presets) {
    if (p.state != PresetState::Wanted) continue;
    const bool ok = fluid_synth_pin_preset(s->synth, s->sfontId, p.bank, p.program) == FLUID_OK;
    p.state = ok ? PresetState::Pinned : PresetState::Failed;
  }
}

LoadedSynth* loadSynth(const std::string& soundfont, double rate, const SynthPlan& plan,
                       SoundfontReads& reads) {
  silenceFluidLog();
  auto* ls = new LoadedSynth;
  ls->file.path = soundfont;
  ls->file.reads = &reads;
  char name[64];
  std::snprintf(name, sizeof name, "%s%" PRIxPTR, kNamePrefix, reinterpret_cast<uintptr_t>(&ls->file));
  ls->file.name = name;
  ls->settings = new_fluid_settings();
  fluid_settings_setint(ls->settings, "synth.threadsafe-api", 0);
  fluid_settings_setint(ls->settings, "synth.dynamic-sample-loading", 1);
  fluid_settings_setnum(ls->settings, "synth.sample-rate", rate);
  fluid_settings_setint(ls->settings, "synth.reverb.active", 0);
  fluid_settings_setint(ls->settings, "synth.chorus.active", 0);
  fluid_settings_setint(ls->settings, "synth.polyphony", 64);
  fluid_settings_setnum(ls->settings, "synth.gain", ls->fullGain);
  ls->synth = new_fluid_synth(ls->settings);
  fluid_sfloader_t* loader = ls->synth != nullptr ? new_fluid_defsfloader(ls->settings) : nullptr;
  if (loader == nullptr) {
    freeSynth(ls);
    return nullptr;
  }
  fluid_sfloader_set_callbacks(loader, openFile, readFile, seekFile, tellFile, closeFile);
  fluid_synth_add_sfloader(ls->synth, loader);  // the synthesizer owns it now, and tries it first
  // No presets are selected on load: every channel starts without one.
  ls->sfontId = fluid_synth_sfload(ls->synth, ls->file.name.c_str(), 0);
  fluid_sfont_t* sfont =
      ls->sfontId == FLUID_FAILED ? nullptr : fluid_synth_get_sfont_by_id(ls->synth, ls->sfontId);
  if (sfont == nullptr) {
    freeSynth(ls);
    return nullptr;
  }
  fluid_sfont_iteration_start(sfont);
  while (fluid_preset_t* p = fluid_sfont_iteration_next(sfont))
    ls->presets.push_back({fluid_preset_get_banknum(p), fluid_preset_get_num(p), PresetState::Unloaded});
  for (const auto* list : {&plan.presets, &plan.instruments})
    for (int program : *list)
      if (PresetSlot* p = ls->find(0, program); p != nullptr && p->state == PresetState::Unloaded)
        p->state = PresetState::Wanted;
  loadWantedPresets(ls);
  const auto t0 = std::chrono::steady_clock::now();
  calibrate(ls, plan, rate);
  ls->calibrationNs =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - t0).count();
  return ls;
}

void freeSynth(LoadedSynth* s) {
  if (s == nullptr) return;
  if (s->synth != nullptr) delete_fluid_synth(s->synth);
  if (s->settings != nullptr) delete_fluid_settings(s->settings);
  delete s;
}

float calibratedGain(const LoadedSynth* s) {
  return s != nullptr ? s->fullGain : 0.0f;
}
int64_t calibrationNs(const LoadedSynth* s) {
  return s != nullptr ? s->calibrationNs : 0;
}

}  // namespace taktovi
