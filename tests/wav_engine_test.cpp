#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "audio/engine_mixer.h"
#include "sound/edirectx.h"
#include "sound/sound_output.h"
#include "support/offline_run.h"
#include "support/recording_midi_out.h"
#include "support/wav_builder.h"
#include "wave/ds_wave_files.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {

std::vector<int16_t> sine(double hz, int frames, double amplitude = 0.5, int rate = 44100) {
  std::vector<int16_t> s(frames);
  for (int i = 0; i < frames; ++i)
    s[i] = static_cast<int16_t>(std::lround(amplitude * 32767 * std::sin(2 * M_PI * hz * i / rate)));
  return s;
}

// WAV mode on the real mixer and an offline engine (no soundfont: only the sample sounds).
class WavEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    AudioEngine::Options o;
    o.output = AudioEngine::Output::Offline;
    o.soundfonts = {};
    engine_ = std::make_unique<AudioEngine>(clock_, o);
    mixers_ = std::make_unique<EngineMixerFactory>(engine_.get());
    run_ = std::make_unique<OfflineRun>(*engine_, clock_);
    sound_ = std::make_unique<SoundOutput>(
        SoundDeps{SoundProfile{}, midi_, *mixers_, clock_, dir_.path().string() + "/"});
    sound_->startUp();
    sound_->finishCreation();
  }
  void useSample(const std::vector<int16_t>& s) {
    dir_.write("piano.wav", pcmWave(pcm16(s)));
    sound_->LuoDirectsound();
  }
  int64_t frames() const { return static_cast<int64_t>(run_->out.size() / 2); }
  // Frequency from upward zero crossings of the left channel (of what has been rendered).
  double frequency(int64_t from, int64_t to) const {
    to = std::min(to, frames());
    int crossings = 0;
    int64_t first = -1, last = -1;
    for (int64_t f = from + 1; f < to; ++f) {
      if (run_->out[2 * (f - 1)] < 0 && run_->out[2 * f] >= 0) {
        if (first < 0) first = f;
        last = f;
        ++crossings;
      }
    }
    return crossings > 1 ? (crossings - 1) * static_cast<double>(engine_->rate()) / (last - first) : 0;
  }
  float largestStep(int64_t from, int64_t to) const {
    to = std::min(to, frames());
    float step = 0;
    for (int64_t f = from + 1; f < to; ++f)
      step = std::max(step, std::fabs(run_->out[2 * f] - run_->out[2 * (f - 1)]));
    return step;
  }

  TempDir dir_;
  TestClock clock_;
  RecordingMidiOut midi_;
  std::unique_ptr<AudioEngine> engine_;
  std::unique_ptr<EngineMixerFactory> mixers_;
  std::unique_ptr<OfflineRun> run_;
  std::unique_ptr<SoundOutput> sound_;
};

}  // namespace

TEST_F(WavEngine, ToneBeginsAtItsFrameAtItsPitchAndLevel) {
  // A constant sample shows the onset exactly; then a 441 Hz sine shows pitch and level.
  useSample(std::vector<int16_t>(88200, 16384));
  run_->runMs(300);
  const int64_t t = 337'250'000;
  run_->runUntil(t);
  sound_->aloita_savel(44100);
  run_->runUntil(t + engine_->latencyNs() + 100'000'000);
  EXPECT_EQ(run_->firstAbove(0, 1e-6f), run_->expectedFrame(t));
  const float level = run_->out[2 * (run_->expectedFrame(t) + 1000)];
  EXPECT_NEAR(20 * std::log10(level / 0.5), -5.0, 0.05);

  useSample(sine(441, 88200));
  run_->runUntil(clock_.nowNs() + 50'000'000);
  const int64_t t2 = clock_.nowNs();
  sound_->aloita_savel(26200);
  run_->runUntil(t2 + engine_->latencyNs() + 600'000'000);
  const int64_t on = run_->expectedFrame(t2);
  EXPECT_NEAR(frequency(on + 2400, on + 26400), 441.0 * 26200 / 44100, 0.5);
  EXPECT_NEAR(20 * std::log10(run_->peak(on + 2400, on + 26400) / 0.5), -5.0, 0.1);
  EXPECT_EQ(engine_->stats().lateCommands, 0u);
}

TEST_F(WavEngine, StrongAndWeakTonesPlayAt34600) {
  useSample(sine(441, 88200));
  for (int32_t code : {1, 2}) {
    const int64_t t = clock_.nowNs() + 20'000'000;
    run_->runUntil(t);
    sound_->aloita_savel(code);
    run_->runUntil(t + engine_->latencyNs() + 400'000'000);
    const int64_t on = run_->expectedFrame(t);
    EXPECT_NEAR(frequency(on + 2400, on + 16800), 441.0 * 34600 / 44100, 0.5) << code;
    EXPECT_NEAR(20 * std::log10(run_->peak(on + 2400, on + 16800) / 0.5), code == 1 ? 0.0 : -8.0, 0.1)
        << code;
    sound_->lopeta_savel();
  }
}

TEST_F(WavEngine, MidiNoteInWavModeKeepsThePreviousRate) {
  useSample(sine(441, 88200));
  sound_->aloita_savel(38800);
  run_->runMs(clock_.nowNs() / 1e6 + 300);
  sound_->aloita_savel(56);  // 56 Hz is below the mixer's minimum
  const int64_t from = run_->expectedFrame(clock_.nowNs());
  run_->runUntil(clock_.nowNs() + engine_->latencyNs() + 400'000'000);
  EXPECT_NEAR(frequency(from + 2400, from + 16800), 441.0 * 38800 / 44100, 0.5);
}

TEST_F(WavEngine, LongToneWrapsTheLoop) {
  // 0.2 s of sample (88 whole cycles) played for 1 s: the loop comes round several times
  // without a stop or a jump.
  useSample(sine(441, 8800));
  const int64_t t = 50'000'000;
  run_->runUntil(t);
  sound_->aloita_savel(44100);
  run_->runUntil(t + 1'100'000'000);
  const int64_t on = run_->expectedFrame(t);
  for (int64_t k = 0; k < 5; ++k) {
    const int64_t from = on + 2400 + k * 9600;
    EXPECT_GT(run_->rms(from, from + 4800), 0.15) << k;
  }
  EXPECT_NEAR(frequency(on + 2400, on + 48000), 441.0, 0.5);
}

TEST_F(WavEngine, ToneEndsWithoutClickAndRestSilencesAtOnce) {
  useSample(sine(441, 88200));
  const int64_t t = 50'000'000;
  run_->runUntil(t);
  sound_->aloita_savel(1);  // full level: the hardest case
  run_->runUntil(t + 300'000'000);
  const int64_t endCall = clock_.nowNs();
  sound_->lopeta_savel();
  run_->runUntil(endCall + engine_->latencyNs() + 100'000'000);
  const int64_t end = run_->expectedFrame(endCall);
  // The signal's own largest step, and what a 5 ms linear fade adds to it.
  const float own = largestStep(end - 4800, end);
  const float rampAdd = 0.5f / (0.005f * engine_->rate());
  EXPECT_LE(largestStep(end, end + 4800), own + rampAdd + 1e-4f);
  EXPECT_EQ(run_->peak(end + 480, end + 4800), 0.0f);  // silent once the ramp has run

  const int64_t t2 = clock_.nowNs();
  sound_->aloita_savel(60000);
  run_->runUntil(t2 + 100'000'000);
  const int64_t t3 = clock_.nowNs();
  sound_->aloita_savel(0);  // a rest: no fade loop, silence after the ramp
  run_->runUntil(t3 + engine_->latencyNs() + 50'000'000);
  const int64_t rest = run_->expectedFrame(t3);
  EXPECT_GT(run_->peak(rest - 480, rest), 0.1f);
  EXPECT_EQ(run_->peak(rest + 250, rest + 2400), 0.0f);
}

TEST_F(WavEngine, SoundTestRightAfterSwitchingPlaysTheRecordedRate) {
  useSample(sine(441, 88200));
  run_->runMs(100);
  sound_->soundTestPress();
  const int64_t on = run_->expectedFrame(clock_.nowNs());
  run_->runUntil(clock_.nowNs() + engine_->latencyNs() + 400'000'000);
  EXPECT_NEAR(frequency(on + 2400, on + 16800), 441.0, 0.5);
  EXPECT_NEAR(20 * std::log10(run_->peak(on + 2400, on + 16800) / 0.5), -8.0, 0.1);
  sound_->soundTestRelease();
  const int64_t off = run_->expectedFrame(clock_.nowNs());
  run_->runUntil(clock_.nowNs() + engine_->latencyNs() + 100'000'000);
  EXPECT_EQ(run_->peak(off + 480, off + 4800), 0.0f);
}

TEST_F(WavEngine, BadSamplesGiveAClearErrorNeverACrash) {
  struct Case {
    const char* what;
    Bytes file;
    const char* why;   // the German line names the file and says why
    std::string tail;  // then the mixer's description, or the assertion's text
  };
  const Bytes data = pcm16(std::vector<int16_t>(100, 1));
  Bytes truncated = pcmWave(pcm16(std::vector<int16_t>(1000, 1)));
  truncated.resize(truncated.size() / 2);
  const std::string unsupported = "\r\rThe specified wave format is not supported.\r\r";
  const std::string assertion = "\r\rAssertion failure";
  const Case cases[] = {
      {"float", riff("WAVE", {chunk("fmt ", fmtPayload(3, 1, 44100, 32, 18)), chunk("data", data)}),
       "IHR FORMAT WIRD NICHT UNTERSTÜTZT.", unsupported},
      {"24-bit", riff("WAVE", {chunk("fmt ", fmtPayload(1, 1, 44100, 24)), chunk("data", Bytes(300, 0))}),
       "IHR FORMAT WIRD NICHT UNTERSTÜTZT.", unsupported},
      {"six channels",
       riff("WAVE", {chunk("fmt ", fmtPayload(1, 6, 44100, 16)), chunk("data", Bytes(1200, 0))}),
       "IHR FORMAT WIRD NICHT UNTERSTÜTZT.", unsupported},
      {"no data bytes", riff("WAVE", {chunk("fmt ", fmtPayload(1, 1, 44100, 16)), chunk("data", {})}),
       "SIE ENTHÄLT KEINE KLANGDATEN.",
       "\r\rOne or more of the parameters passed to the function are incorrect.\r\r"},
      {"declares more",
       riff("WAVE", {chunk("fmt ", fmtPayload(1, 1, 44100, 16)), chunk("data", data, 0xFFFFFF00u)}),
       "SIE IST KEINE WAVE-DATEI.", assertion},
      {"truncated", truncated, "SIE IST KEINE WAVE-DATEI.", assertion},
      {"empty", {}, "SIE IST KEINE WAVE-DATEI.", assertion},
  };
  const std::string path = dir_.path().string() + "/koto.wav";
  for (const Case& c : cases) {
    dir_.write("koto.wav", c.file);
    sound_->selectInstrument(kInstruments[6]);  // in MIDI mode: names the sample only
    try {
      sound_->LuoDirectsound();
      ADD_FAILURE() << c.what << ": no error";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), "DIE KLANGDATEI \"" + path + "\" KANN NICHT BENUTZT WERDEN: " + c.why + c.tail)
          << c.what;
      EXPECT_EQ(dynamic_cast<const AssertionError*>(&e) != nullptr, c.tail == assertion) << c.what;
    }
    EXPECT_TRUE(sound_->midi_tila()) << c.what;
    EXPECT_FALSE(sound_->hasSampleBuffer()) << c.what;
  }
  // Mono and stereo, 8 and 16 bits are all taken.
  for (auto [channels, bits] : {std::pair{1, 8}, std::pair{2, 8}, std::pair{2, 16}}) {
    dir_.write("koto.wav", pcmWave(Bytes(400, 0x90), 22050, static_cast<uint16_t>(channels),
                                   static_cast<uint16_t>(bits)));
    sound_->midiMode();
    EXPECT_NO_THROW(sound_->LuoDirectsound()) << channels << "x" << bits;
  }
}

TEST(RenderedSamples, FormatLengthAttackAndPeak) {
  const auto dir = std::filesystem::canonical("/proc/self/exe").parent_path();
  for (const Instrument& in : kInstruments) {
    const std::string path = (dir / in.file).string();
    WaveHandle h;
    FormatRecord f;
    ChunkInfo riff, data;
    ASSERT_EQ(WavOpen(path.c_str(), h, f, riff), 0u) << path;
    const WaveFormat w = decodeFormat(f.get());
    EXPECT_EQ(w.formatTag, 1) << in.file;
    EXPECT_EQ(w.channels, 1) << in.file;
    EXPECT_EQ(w.bitsPerSample, 16) << in.file;
    EXPECT_EQ(w.samplesPerSec, 44100u) << in.file;
    ASSERT_EQ(WavStartData(h, data, riff), 0u);
    EXPECT_GE(data.cksize, 2u * 44100 * 2) << in.file;
    std::vector<uint8_t> bytes(data.cksize);
    uint32_t got = 0;
    ASSERT_EQ(WavRead(h, data.cksize, bytes.data(), data, got), 0u);
    std::vector<int16_t> s(got / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    int peak = 0;
    for (int16_t x : s) peak = std::max(peak, std::abs(static_cast<int>(x)));
    EXPECT_NEAR(20 * std::log10(peak / 32768.0), -3.0, 0.2) << in.file;
    // The attack at frame 0: no leading silence.
    EXPECT_GE(std::abs(static_cast<int>(s[0])), peak / 1000) << in.file;
    int firstTenth = 0;
    while (firstTenth < static_cast<int>(s.size()) && std::abs(static_cast<int>(s[firstTenth])) < peak / 10)
      ++firstTenth;
    EXPECT_LT(firstTenth, 44100 / 20) << in.file;  // a tenth of the peak within 50 ms
    WavRelease(h, f);
  }
}
