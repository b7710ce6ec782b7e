// Runs the whole way a sample takes in WAV mode on arbitrary bytes as the instrument's file:
// the reader, the size check, the mixer's format checks, the conversion, the hand-over to the
// audio thread (an offline engine rendering), and replay at every rate of the WAV pitch table
// and for the strong and weak tones.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "audio/audio_engine.h"
#include "audio/engine_mixer.h"
#include "sound/edirectx.h"
#include "sound/sound_output.h"
#include "wave/ds_wave_files.h"

using namespace taktovi;

namespace {

// WAV mode sends no MIDI; the sound output still needs a service.
class NoMidi final : public MidiOutService {
 public:
  uint32_t midiOutGetNumDevs() override { return 0; }
  uint32_t midiOutGetDevCaps(uint32_t, MidiOutCaps&) override { return MMSYSERR_BADDEVICEID; }
  uint32_t midiOutOpen(HMIDIOUT& h, uint32_t) override {
    h = 0;
    return MMSYSERR_BADDEVICEID;
  }
  uint32_t midiOutReset(HMIDIOUT) override { return MMSYSERR_INVALHANDLE; }
  uint32_t midiOutSetVolume(uint32_t, uint32_t) override { return MMSYSERR_BADDEVICEID; }
  uint32_t midiOutCachePatches(HMIDIOUT, uint32_t, const uint16_t*, uint32_t) override {
    return MMSYSERR_INVALHANDLE;
  }
  uint32_t midiOutClose(HMIDIOUT) override { return MMSYSERR_INVALHANDLE; }

 protected:
  uint32_t shortMsg(HMIDIOUT, uint32_t, int64_t) override { return MMSYSERR_INVALHANDLE; }
};

// A private directory that holds the instrument's file, as the executable's directory would.
const std::string& sampleDir() {
  static const std::string dir = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp ? tmp : "/tmp") + "/fuzz_wav_mode_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern + "/";
  }();
  return dir;
}

constexpr int kPeriod = 256;

// One engine for the whole run, as a program has one: its queues are allocated once. Each
// run() moves the clock on by 5 ms and renders the callbacks due by then, as a device would.
struct OfflineDevice {
  TestClock clock;
  AudioEngine engine{
      clock,
      {.output = AudioEngine::Output::Offline, .period = kPeriod, .soundfonts = {}, .loadSynth = false}};
  int64_t callback = 0;
  void run() {
    clock.advanceNs(5'000'000);
    for (;;) {
      const int64_t at = callback * kPeriod * 1'000'000'000LL / engine.rate();
      if (at > clock.nowNs()) return;
      engine.renderAt(at, kPeriod);
      ++callback;
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = sampleDir() + "piano.wav";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  static OfflineDevice device;
  EngineMixerFactory mixers(&device.engine);
  NoMidi midi;
  SoundOutput sound({{}, midi, mixers, device.clock, sampleDir()});
  try {
    sound.LuoDirectsound();
  } catch (const EDirectX&) {
    return 0;
  } catch (const AssertionError&) {
    return 0;
  }
  // The six levels, each tone cut by the next; then the strong tone, the weak tone and a rest,
  // each after the fade that ends the tone before. (A fade does not depend on the sample and
  // is the slowest step: three are enough.)
  const auto& korkeudet = sound.korkeudet();
  for (int level = 1; level <= 6; ++level) {
    sound.aloita_savel(korkeudet[level]);
    device.run();
  }
  for (int code = 7; code <= 9; ++code) {
    sound.lopeta_savel();
    device.run();
    sound.aloita_savel(korkeudet[code]);
    device.run();
  }
  // An instrument chosen again while its sample is published: the old buffer is retired.
  sound.aloita_savel(korkeudet[6]);
  device.run();
  try {
    sound.LuoDirectsound();
  } catch (const EDirectX&) {
    std::abort();  // the same file cannot fail the second time
  } catch (const AssertionError&) {
    std::abort();
  }
  sound.aloita_savel(1);
  device.run();
  return 0;
}
