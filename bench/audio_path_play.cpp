// Plays melodies through the real sound path for audio_path.sh: the audio engine on SDL's
// default (or SDL_AUDIODRIVER's) device, the MIDI service, the engine's mixer, the sound
// output's tone operations and the programs' playback loop (PatternPlayer: the melody handed
// over at its start with the times it is planned for),
// on the steady clock and Qt's event loop (offscreen).
//   audio_path_play midi|wav SECONDS LOG [period=FRAMES] [instrument=0..6] [seed=N] [stall=MS]
// Once per melody, at a random moment of it, the UI thread is held `stall` ms (default 1000; 0:
// never), as a swap storm or a slow dialog would hold it.
// The instrument (menu order) is by default the square lead in MIDI mode, whose sharp attack
// and short release keep each onset clear of the previous tone, and the piano in WAV mode.
// LOG gets one line per slot: the times its tone was planned for (start and end), the slot
// grid (the melody's start plus each earlier slot's span: the plan when every turn is on
// time), when the start was called, and the heard latency the engine reported then;
// audio_path_report compares them with a recording of the output.
#include <SDL.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audio/engine_mixer.h"
#include "audio/system_midi_out.h"
#include "figures.h"
#include "kit/event_pump.h"
#include "kit/services.h"
#include "sound/program_plan.h"
#include "sound/sound_output.h"
#include "trainer/playback.h"

using namespace taktovi;

namespace {

constexpr int kMostSlots = 12;

// A melody as the catalogue builds them, into the pool: 6 to 12 slots of a beat or half a
// beat; mostly pitched tones, some strong and weak tones, a few rests (never the first slot).
// Its length, ms.
double melody(std::mt19937& rng, double isku, const SoundOutput& sound, RectanglePool& pool) {
  std::uniform_int_distribution<int> count(6, kMostSlots), kind(0, 19), pitch(1, 6), half(0, 2);
  const int n = count(rng);
  for (int i = 1; i <= n; ++i) {
    Tomapaneli& r = *pool[i];
    const int k = kind(rng);
    r.savel = k < 14 ? sound.korkeudet()[static_cast<size_t>(pitch(rng))] : k < 16 ? 1 : k < 18 ? 2 : 0;
    if (i == 1 && r.savel == 0) r.savel = 1;
    r.kesto = half(rng) == 0 ? isku * 0.5 : isku;
    r.vasen = i;
  }
  pool[n + 1]->vasen = 0;  // the end marker
  double length = 0;
  for (int i = 1; i <= n; ++i) length += pool[i]->kesto;
  return length;
}

struct PlayedTone {
  int savel = 0;
  int64_t atNs = 0, gridNs = 0, callNs = 0, heardNs = 0;
  double kesto = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: audio_path_play midi|wav SECONDS LOG [period=FRAMES] [instrument=0..6] [seed=N] "
                 "[stall=MS]\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);  // the pattern's rectangles are widgets
  const bool wav = std::string(argv[1]) == "wav";
  const double seconds = std::atof(argv[2]);
  FILE* log = std::fopen(argv[3], "w");
  if (log == nullptr) return 2;
  AudioEngine::Options options{.synthPlan = builtinSynthPlan()};
  size_t instrument = wav ? 0 : 5;
  unsigned seed = 1;
  int stallMs = 1000;
  for (int i = 4; i < argc; ++i) {
    const std::string a = argv[i];
    const int v = std::atoi(a.substr(a.find('=') + 1).c_str());
    if (a.starts_with("period=")) options.period = v;
    if (a.starts_with("instrument=")) instrument = static_cast<size_t>(std::clamp(v, 0, 6));
    if (a.starts_with("seed=")) seed = static_cast<unsigned>(v);
    if (a.starts_with("stall=")) stallMs = std::max(v, 0);
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

  std::vector<std::unique_ptr<Tomapaneli>> owned;
  RectanglePool pool;
  for (int i = 0; i <= kMostSlots; ++i) {
    owned.push_back(std::make_unique<Tomapaneli>());
    pool.add(owned.back().get());
  }
  TempoSettings settings;
  // The slot grid, the tone being logged, and how late each turn came against the plan as it
  // stood (tone starts after a melody's first, tone ends).
  int64_t gridNs = 0;
  uint32_t previousAt = 0;
  double previousKesto = 0;
  PlayedTone tone;
  std::vector<double> lateMs;
  int rebased = 0;
  size_t played = 0;
  PlaybackHooks hooks;
  hooks.toneStarted = [&](const PlayedSlot& slot, Tomapaneli& r, uint32_t at) {
    const int64_t call = clock.nowNs();
    if (slot.index == 1) {
      gridNs = clock.nsOfMs(at);
    } else {
      const uint32_t planned = previousAt + static_cast<uint32_t>(std::floor(previousKesto)) + 1;
      gridNs += (static_cast<int64_t>(std::floor(previousKesto)) + 1) * 1'000'000;
      lateMs.push_back(static_cast<double>(call - clock.nsOfMs(planned)) / 1e6);
      if (at != planned) ++rebased;
    }
    previousAt = at;
    previousKesto = r.kesto;
    tone = {r.savel, clock.nsOfMs(at), gridNs, call, engine.heardLatencyNs(), r.kesto};
  };
  hooks.toneEnded = [&](const PlayedSlot&, uint32_t at) {
    const int64_t off = clock.nsOfMs(at);
    lateMs.push_back(static_cast<double>(clock.nowNs() - off) / 1e6);
    std::fprintf(log, "%zu %d %lld %lld %lld %lld %.1f %.2f %lld\n", played++, tone.savel,
                 static_cast<long long>(tone.atNs), static_cast<long long>(off),
                 static_cast<long long>(tone.gridNs), static_cast<long long>(tone.callNs), tone.kesto,
                 settings.aanisuhde, static_cast<long long>(tone.heardNs));
  };
  PatternPlayer player(clock, pump, sound, pool, settings, hooks);

  const char* driver = SDL_GetCurrentAudioDriver();
  pump.waitUntil(clock.timeGetTime() + 3000);  // the stream starts, the timeline locks, the server tells
  std::printf(
      "%s mode (%s) on SDL's %s driver: %d Hz, period %d frames; engine latency %.2f ms, heard latency %.2f "
      "ms\n",
      wav ? "WAV" : "MIDI", kInstruments[instrument].caption, driver != nullptr ? driver : "?", engine.rate(),
      engine.period(), engine.latencyNs() / 1e6, engine.heardLatencyNs() / 1e6);
  std::fprintf(log, "# mode %s rate %d period %d latency_ns %lld heard_ns %lld\n", wav ? "wav" : "midi",
               engine.rate(), engine.period(), static_cast<long long>(engine.latencyNs()),
               static_cast<long long>(engine.heardLatencyNs()));
  std::fprintf(log, "# slot savel on_ns off_ns grid_ns call_ns kesto_ms share heard_ns\n");

  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> tempo(200, 1800), share(30, 80), pause(500, 900);
  engine.stats();  // the largest wake-up error counts from here
  const int64_t end = clock.nowNs() + static_cast<int64_t>(seconds * 1e9);
  int melodies = 0, stalls = 0;
  int64_t lowestHeard = engine.heardLatencyNs(), highestHeard = lowestHeard;
  while (clock.nowNs() < end) {
    settings.tempo(tempo(rng));
    settings.share(share(rng));
    const double lengthMs = melody(rng, settings.isku, sound, pool);
    if (stallMs > 0) {
      QTimer::singleShot(std::uniform_int_distribution<int>(0, static_cast<int>(lengthMs))(rng), [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(stallMs));
        ++stalls;
      });
    }
    player.hold();
    player.cue(1);
    player.mskello(clock.timeGetTime());
    std::fprintf(log, "# end of melody\n");
    ++melodies;
    lowestHeard = std::min(lowestHeard, engine.heardLatencyNs());
    highestHeard = std::max(highestHeard, engine.heardLatencyNs());
    pump.waitUntil(clock.timeGetTime() + static_cast<uint32_t>(pause(rng)));  // the answer
  }
  std::fclose(log);
  const auto cb = engine.stats();
  std::printf(
      "%d melodies, %zu slots in %.0f s, the UI thread held %d ms %d times; late commands %llu, "
      "dropped %llu\n",
      melodies, played, seconds, stallMs, stalls, static_cast<unsigned long long>(cb.lateCommands),
      static_cast<unsigned long long>(cb.droppedCommands));
  std::printf("callbacks %llu: wake-up against the loop's prediction RMS %.3f ms, largest %.3f ms\n",
              static_cast<unsigned long long>(cb.callbacks),
              std::sqrt(cb.sumSquaredErrorNs / std::max<double>(1, static_cast<double>(cb.callbacks))) / 1e6,
              cb.maxAbsErrorNs / 1e6);
  std::printf("heard latency the engine reported: %.2f .. %.2f ms\n", lowestHeard / 1e6, highestHeard / 1e6);
  std::printf(
      "playback turns after their planned time (%zu): median %.3f ms, p99 %.3f ms, p99.9 %.3f ms, max %.3f "
      "ms; "
      "%d plans moved\n",
      lateMs.size(), bench::median(lateMs), bench::percentile(lateMs, 0.99), bench::percentile(lateMs, 0.999),
      *std::max_element(lateMs.begin(), lateMs.end()), rebased);
  std::sort(lateMs.rbegin(), lateMs.rend());
  std::printf("the latest turns:");
  for (size_t i = 0; i < std::min<size_t>(8, lateMs.size()); ++i) std::printf(" %.1f", lateMs[i]);
  std::printf(" ms\n");
  return 0;
}
