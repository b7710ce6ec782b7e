// Plays melodies through the real sound path for audio_path.sh: the audio engine on SDL's
// default (or SDL_AUDIODRIVER's) device, the MIDI service, the engine's mixer and the sound
// output's tone operations, timed on the steady clock as the programs' playback loop is
// (each slot measured from its own tone's start, waits on Qt's event loop).
//   audio_path_play midi|wav SECONDS LOG [period=FRAMES] [instrument=0..6] [seed=N]
// The instrument (menu order) is by default the square lead in MIDI mode, whose sharp attack
// and short release keep each onset clear of the previous tone, and the piano in WAV mode.
// LOG gets one line per slot with the steady-clock times of the calls; audio_path_report
// compares them with a recording of the output.
#include <SDL.h>

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "audio/engine_mixer.h"
#include "audio/system_midi_out.h"
#include "figures.h"
#include "kit/event_pump.h"
#include "kit/services.h"
#include "sound/program_plan.h"
#include "sound/sound_output.h"

using namespace taktovi;

namespace {

struct Slot {
  int32_t savel = 0;  // the tone value the pattern holds
  double kesto = 0;   // slot length, ms
};

// A melody as the catalogue builds them: 6 to 12 slots of a beat or half a beat; mostly
// pitched tones, some strong and weak tones, a few rests (never the first slot).
std::vector<Slot> melody(std::mt19937& rng, double isku, const SoundOutput& sound) {
  std::uniform_int_distribution<int> count(6, 12), kind(0, 19), pitch(1, 6), half(0, 2);
  std::vector<Slot> pattern(static_cast<size_t>(count(rng)));
  for (size_t i = 0; i < pattern.size(); ++i) {
    const int k = kind(rng);
    pattern[i].savel = k < 14   ? sound.korkeudet()[static_cast<size_t>(pitch(rng))]
                       : k < 16 ? 1
                       : k < 18 ? 2
                                : 0;
    if (i == 0 && pattern[i].savel == 0) pattern[i].savel = 1;
    pattern[i].kesto = half(rng) == 0 ? isku * 0.5 : isku;
  }
  return pattern;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: audio_path_play midi|wav SECONDS LOG [period=FRAMES] [instrument=0..6] [seed=N]\n");
    return 2;
  }
  QCoreApplication app(argc, argv);
  const bool wav = std::string(argv[1]) == "wav";
  const double seconds = std::atof(argv[2]);
  FILE* log = std::fopen(argv[3], "w");
  if (log == nullptr) return 2;
  AudioEngine::Options options{.synthPlan = builtinSynthPlan()};
  size_t instrument = wav ? 0 : 5;
  unsigned seed = 1;
  for (int i = 4; i < argc; ++i) {
    const std::string a = argv[i];
    const int v = std::atoi(a.substr(a.find('=') + 1).c_str());
    if (a.starts_with("period=")) options.period = v;
    if (a.starts_with("instrument=")) instrument = static_cast<size_t>(std::clamp(v, 0, 6));
    if (a.starts_with("seed=")) seed = static_cast<unsigned>(v);
  }

  SteadyClock clock;
  AudioEngine engine(clock, options);
  SystemMidiOut midi(engine, openAlsaPorts());
  EngineMixerFactory mixers(&engine);
  QtEventPump pump(clock);
  SoundOutput sound({{}, midi, mixers, clock, executableDirectory(argv[0])});
  sound.startUp();
  sound.finishCreation();
  engine.waitForSynth();
  if (!engine.hasDevice()) {
    std::fprintf(stderr, "no audio device\n");
    return 1;
  }
  if (wav) sound.LuoDirectsound();  // the samples are beside this program
  sound.selectInstrument(kInstruments[instrument]);
  const char* driver = SDL_GetCurrentAudioDriver();
  std::printf(
      "%s mode (%s) on SDL's %s driver: %d Hz, period %d frames; engine latency %.2f ms, heard latency %.2f "
      "ms\n",
      wav ? "WAV" : "MIDI", kInstruments[instrument].caption, driver != nullptr ? driver : "?", engine.rate(),
      engine.period(), engine.latencyNs() / 1e6, engine.heardLatencyNs() / 1e6);
  std::fprintf(log, "# mode %s rate %d period %d latency_ns %lld heard_ns %lld\n", wav ? "wav" : "midi",
               engine.rate(), engine.period(), static_cast<long long>(engine.latencyNs()),
               static_cast<long long>(engine.heardLatencyNs()));
  std::fprintf(log, "# slot savel on_ns off_ns kesto_ms share\n");

  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> tempo(200, 1800), share(30, 80), pause(500, 900);
  pump.waitUntil(clock.timeGetTime() + 3000);  // the stream starts and the timeline locks
  engine.stats();                              // the largest wake-up error counts from here
  std::vector<double> lateMs;                  // how late the loop made each call
  const int64_t end = clock.nowNs() + static_cast<int64_t>(seconds * 1e9);
  int melodies = 0;
  size_t played = 0;
  while (clock.nowNs() < end) {
    const double isku = 2000 - tempo(rng);
    const double aanisuhde = share(rng) * 0.01;
    uint32_t due = 0;
    bool first = true;  // the melody's first slot has no deadline of its own
    for (const Slot& s : melody(rng, isku, sound)) {
      // The playback loop: a tone starts at its turn, ends once the tone share has passed,
      // and the next slot starts once the slot has passed, each test "later than" in ms.
      const int64_t on = clock.nowNs();
      if (!first) {
        const auto overMs = static_cast<int32_t>(static_cast<uint32_t>(on / 1'000'000) - due);  // wrap-safe
        lateMs.push_back(overMs + static_cast<double>(on % 1'000'000) / 1e6);
      }
      first = false;
      sound.aloita_savel(s.savel);
      const uint32_t savelen_alku = clock.timeGetTime();
      pump.waitUntil(savelen_alku + static_cast<uint32_t>(std::floor(s.kesto * aanisuhde)) + 1);
      const int64_t off = clock.nowNs();
      sound.lopeta_savel();
      std::fprintf(log, "%zu %d %lld %lld %.1f %.2f\n", played++, s.savel, static_cast<long long>(on),
                   static_cast<long long>(off), s.kesto, aanisuhde);
      due = savelen_alku + static_cast<uint32_t>(std::floor(s.kesto)) + 1;
      pump.waitUntil(due);
    }
    std::fprintf(log, "# end of melody\n");
    ++melodies;
    pump.waitUntil(clock.timeGetTime() + static_cast<uint32_t>(pause(rng)));  // the answer
  }
  std::fclose(log);
  const auto cb = engine.stats();
  std::printf("%d melodies, %zu slots in %.0f s; late commands %llu, dropped %llu\n", melodies, played,
              seconds, static_cast<unsigned long long>(cb.lateCommands),
              static_cast<unsigned long long>(cb.droppedCommands));
  std::printf("callbacks %llu: wake-up against the timeline RMS %.3f ms, largest %.3f ms\n",
              static_cast<unsigned long long>(cb.callbacks),
              std::sqrt(cb.sumSquaredErrorNs / std::max<double>(1, static_cast<double>(cb.callbacks))) / 1e6,
              cb.maxAbsErrorNs / 1e6);
  std::printf("playback loop: calls after their ms deadline median %.3f ms, p99 %.3f ms, max %.3f ms\n",
              bench::median(lateMs), bench::percentile(lateMs, 0.99),
              *std::max_element(lateMs.begin(), lateMs.end()));
  return 0;
}
