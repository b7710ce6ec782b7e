// Renders the seven instrument samples from a General MIDI soundfont through FluidSynth:
// note 60 of each instrument's program, 16-bit PCM mono 44100 Hz, 2.2 s, attack at frame 0,
// peak at -3 dBFS, with a short fade at the end so the buffer's loop wraps without a click.
//   render_samples SOUNDFONT OUTDIR
#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Sample {
  const char* file;
  int program;   // General MIDI, counted from 0
  int fallback;  // used when the program's attack is slow (a pad), -1 for none
};

// "KEYBOARD 1" is program 88, a pad. Where the soundfont gives it a slow attack, its sample
// takes the quick-attack lead 81 (sawtooth) of the same electronic character instead.
constexpr Sample kSamples[] = {
    {"piano.wav", 0, -1},      {"marimba.wav", 12, -1}, {"trumpet.wav", 56, -1}, {"clarinet.wav", 71, -1},
    {"solosynth.wav", 88, 81}, {"square.wav", 80, -1},  {"koto.wav", 107, -1},
};
constexpr double kSlowAttackMs = 40;  // time to half level that counts as slow

constexpr int kRate = 44100;
constexpr double kSeconds = 2.2;
constexpr double kHoldSeconds = 2.4;  // the key is held past the end: no release in the sample
constexpr double kPeak = 0.7079;      // -3 dBFS
constexpr int kFadeFrames = kRate / 100;

void put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}

bool writeWave(const std::string& path, const std::vector<int16_t>& pcm) {
  std::vector<uint8_t> b;
  const uint32_t dataBytes = static_cast<uint32_t>(pcm.size() * 2);
  b.insert(b.end(), {'R', 'I', 'F', 'F'});
  put32(b, 4 + 8 + 16 + 8 + dataBytes);
  b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put32(b, 16);
  put16(b, 1);
  put16(b, 1);
  put32(b, kRate);
  put32(b, kRate * 2);
  put16(b, 2);
  put16(b, 16);
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  put32(b, dataBytes);
  for (int16_t s : pcm) put16(b, static_cast<uint16_t>(s));
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
  return std::fclose(f) == 0 && ok;
}

std::vector<float> renderNote(fluid_synth_t* synth, int program) {
  fluid_synth_system_reset(synth);
  fluid_synth_program_change(synth, 0, program);
  fluid_synth_noteon(synth, 0, 60, 127);
  const int total = static_cast<int>(kHoldSeconds * kRate);
  std::vector<float> left(total), right(total), mono(total);
  fluid_synth_write_float(synth, total, left.data(), 0, 1, right.data(), 0, 1);
  fluid_synth_noteoff(synth, 0, 60);
  for (int i = 0; i < total; ++i) mono[i] = 0.5f * (left[i] + right[i]);
  return mono;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SOUNDFONT OUTDIR\n", argv[0]);
    return 2;
  }
  for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
    fluid_set_log_function(level, nullptr, nullptr);
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setnum(settings, "synth.sample-rate", kRate);
  fluid_settings_setint(settings, "synth.reverb.active", 0);
  fluid_settings_setint(settings, "synth.chorus.active", 0);
  fluid_synth_t* synth = new_fluid_synth(settings);
  if (synth == nullptr || fluid_synth_sfload(synth, argv[1], 1) == FLUID_FAILED) {
    std::fprintf(stderr, "render_samples: cannot load soundfont %s\n", argv[1]);
    return 1;
  }
  int failures = 0;
  for (const Sample& s : kSamples) {
    int program = s.program;
    std::vector<float> x;
    float peak = 0;
    size_t start = 0, half = 0;
    for (;;) {
      x = renderNote(synth, program);
      peak = 0;
      for (float v : x) peak = std::max(peak, std::fabs(v));
      // The attack starts at frame 0: drop what comes before the first audible sample.
      start = 0;
      while (start < x.size() && std::fabs(x[start]) < peak * 1e-3f) ++start;
      half = start;
      while (half < x.size() && std::fabs(x[half]) < peak * 0.5f) ++half;
      const bool slow = (half - start) * 1000.0 / kRate > kSlowAttackMs;
      if (!slow || program == s.fallback || s.fallback < 0) break;
      program = s.fallback;
    }
    const size_t frames = static_cast<size_t>(kSeconds * kRate);
    std::vector<int16_t> pcm(frames, 0);
    const double gain = peak > 0 ? kPeak / peak : 0;
    for (size_t i = 0; i < frames && start + i < x.size(); ++i) {
      double v = x[start + i] * gain;
      if (i + kFadeFrames > frames) v *= static_cast<double>(frames - i) / kFadeFrames;
      pcm[i] = static_cast<int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767));
    }
    const std::string path = std::string(argv[2]) + "/" + s.file;
    if (!writeWave(path, pcm)) {
      std::fprintf(stderr, "render_samples: cannot write %s\n", path.c_str());
      ++failures;
      continue;
    }
    std::printf("%-14s program %3d: half level after %.1f ms\n", s.file, program,
                (half - start) * 1000.0 / kRate);
  }
  delete_fluid_synth(synth);
  delete_fluid_settings(settings);
  return failures == 0 ? 0 : 1;
}
