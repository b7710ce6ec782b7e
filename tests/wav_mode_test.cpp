#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "sound/edirectx.h"
#include "sound/sound_output.h"
#include "support/recording_midi_out.h"
#include "support/recording_mixer.h"
#include "support/wav_builder.h"
#include "wave/ds_wave_files.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {

const std::array<int32_t, 10> kMidiTable = {0, 50, 52, 54, 56, 58, 60, 1, 2, 0};
const std::array<int32_t, 10> kWavTable = {0, 26200, 29300, 32900, 34600, 38800, 44100, 1, 2, 0};

class WavMode : public ::testing::Test {
 protected:
  explicit WavMode(SoundProfile p = {}) : profile_(p) {}
  void SetUp() override {
    dir_.write("piano.wav", pcmWave(pcm16(std::vector<int16_t>(1000, 1234))));
    dir_.write("koto.wav", pcmWave(pcm16(std::vector<int16_t>(300, -77)), 22050));
    sound_ = std::make_unique<SoundOutput>(
        SoundDeps{profile_, midi_, mixer_, clock_, dir_.path().string() + "/", this});
    sound_->startUp();
    sound_->finishCreation();
  }
  MixerLog& log() { return mixer_.log; }
  // The instrument whose sample is `file` (chosen in MIDI mode, this only names the sample).
  static const Instrument& instrumentOf(const std::string& file) {
    for (const Instrument& in : kInstruments)
      if (file == in.file) return in;
    throw std::runtime_error("no instrument plays " + file);
  }
  std::vector<std::string> callsAfter(size_t from) const {
    return {mixer_.log.calls.begin() + static_cast<long>(from), mixer_.log.calls.end()};
  }
  void expectUnchanged(bool midiMode) {
    EXPECT_EQ(sound_->midi_tila(), midiMode);
    EXPECT_EQ(sound_->korkeudet(), midiMode ? kMidiTable : kWavTable);
  }

  SoundProfile profile_;
  TempDir dir_;
  TestClock clock_;
  RecordingMidiOut midi_;
  RecordingMixer mixer_;
  std::unique_ptr<SoundOutput> sound_;
};

class WavModeTiming : public WavMode {
 protected:
  WavModeTiming() : WavMode({true, true}) {}
};

}  // namespace

TEST_F(WavMode, BuildsTheLoopingBufferInOrder) {
  sound_->LuoDirectsound();
  const std::vector<std::string> want = {"create",      "coop 1",     "buffer 2000 a2", "lock 2",
                                         "unlock 2000", "vol -10000", "play 1"};
  EXPECT_EQ(log().calls, want);
  EXPECT_EQ(log().lastData, pcm16(std::vector<int16_t>(1000, 1234)));
  EXPECT_FALSE(sound_->midi_tila());
  EXPECT_EQ(sound_->korkeudet(), kWavTable);
  ASSERT_TRUE(sound_->hasMixer());
  ASSERT_TRUE(sound_->hasSampleBuffer());

  // Again: buffer released before the mixer, then all is built anew.
  log().calls.clear();
  sound_->LuoDirectsound();
  EXPECT_EQ(log().calls[0], "release buffer");
  EXPECT_EQ(log().calls[1], "release mixer");
  EXPECT_EQ(log().calls[2], "create");
  sound_->PoistaDirectsound();
  sound_->PoistaDirectsound();  // releasing nothing does nothing
  EXPECT_EQ(log().count("release"), 4u);
}

TEST_F(WavMode, MissingSampleIsAnAssertionThatChangesNothing) {
  sound_->selectInstrument(instrumentOf("trumpet.wav"));
  try {
    sound_->LuoDirectsound();
    FAIL() << "no error";
  } catch (const AssertionError& e) {
    // Which file and why, in German, before the assertion's own text.
    EXPECT_EQ(std::string(e.what()),
              "DIE KLANGDATEI \"" + dir_.path().string() +
                  "/trumpet.wav\" KANN NICHT BENUTZT WERDEN: SIE WURDE NICHT GEFUNDEN.\r\r"
                  "Assertion failure");
  }
  expectUnchanged(true);
  EXPECT_TRUE(sound_->hasMixer());  // the new mixer object exists
  EXPECT_FALSE(sound_->hasSampleBuffer());
  EXPECT_EQ(log().count("buffer"), 0u);
}

TEST_F(WavMode, BufferFailuresRaiseEDirectXAndChangeNothing) {
  const std::pair<const char*, HRESULT> cases[] = {
      {"buffer", DSERR_BADFORMAT}, {"lock", DSERR_INVALIDCALL}, {"unlock", DSERR_BUFFERLOST}};
  for (const auto& [op, code] : cases) {
    log().failures = {{op, code}};
    try {
      sound_->LuoDirectsound();
      FAIL() << op;
    } catch (const EDirectX& e) {
      EXPECT_EQ(e.code(), code);
      const std::string about = code == DSERR_BADFORMAT
                                    ? "DIE KLANGDATEI \"" + dir_.path().string() +
                                          "/piano.wav\" KANN NICHT BENUTZT WERDEN: IHR FORMAT "
                                          "WIRD NICHT UNTERSTÜTZT."
                                    : "";
      EXPECT_EQ(std::string(e.what()), about + "\r\r" + describeResult(code) + "\r\r");
    }
    expectUnchanged(true);
    EXPECT_FALSE(sound_->hasSampleBuffer()) << op;
  }
  EXPECT_EQ(std::string(EDirectX(DSERR_BADFORMAT).what()),
            "\r\rThe specified wave format is not supported.\r\r");
}

TEST_F(WavMode, FailureInWavModeKeepsWavModeAndSilence) {
  sound_->LuoDirectsound();
  EXPECT_THROW(sound_->selectInstrument(instrumentOf("trumpet.wav")), AssertionError);
  expectUnchanged(false);
  // No buffer: tones and the sound test stay silent, and touch nothing.
  const size_t before = log().calls.size();
  sound_->aloita_savel(26200);
  sound_->lopeta_savel();
  sound_->soundTestPress();
  sound_->soundTestRelease();
  EXPECT_EQ(log().calls.size(), before);
}

TEST_F(WavMode, NoMixerLeavesTheModeUnchanged) {
  log().failures = {{"create", DSERR_NODRIVER}};
  try {
    sound_->LuoDirectsound();
    FAIL();
  } catch (const EDirectX& e) {
    EXPECT_EQ(std::string(e.what()), "\r\rNo sound driver is available for use.\r\r");
  }
  expectUnchanged(true);
}

TEST_F(WavMode, SampleFilesThatAreRefusedLikeNoWave) {
  Bytes noData = riff("WAVE", {chunk("fmt ", fmtPayload(1, 1, 44100, 16))});
  Bytes overlong =
      riff("WAVE", {chunk("fmt ", fmtPayload(1, 1, 44100, 16)), chunk("data", pcm16({1, 2}), 0x7FFFFFF0)});
  Bytes notRiff(64, 'x');
  for (const Bytes& b : {noData, overlong, notRiff}) {
    dir_.write("clarinet.wav", b);
    sound_->selectInstrument(instrumentOf("clarinet.wav"));
    EXPECT_THROW(sound_->LuoDirectsound(), AssertionError);
    expectUnchanged(true);
  }
  EXPECT_EQ(log().count("buffer"), 0u);  // never a buffer the size of a bogus header
}

TEST_F(WavMode, ToneValuesSetPositionRateVolumeInThatOrder) {
  sound_->LuoDirectsound();
  const size_t messages = midi_.messages().size();
  size_t mark = log().calls.size();
  sound_->aloita_savel(29300);
  EXPECT_EQ(callsAfter(mark), (std::vector<std::string>{"pos 0", "freq 29300", "vol -500"}));
  mark = log().calls.size();
  sound_->aloita_savel(1);
  EXPECT_EQ(callsAfter(mark), (std::vector<std::string>{"pos 0", "freq 34600", "vol 0"}));
  mark = log().calls.size();
  sound_->aloita_savel(2);
  EXPECT_EQ(callsAfter(mark), (std::vector<std::string>{"pos 0", "freq 34600", "vol -800"}));
  mark = log().calls.size();
  sound_->aloita_savel(0);
  EXPECT_EQ(callsAfter(mark), (std::vector<std::string>{"vol -10000"}));
  // A MIDI note number played in WAV mode asks for 54 Hz, which the mixer refuses.
  mark = log().calls.size();
  sound_->aloita_savel(54);
  EXPECT_EQ(callsAfter(mark), (std::vector<std::string>{"pos 0", "freq 54", "vol -500"}));
  EXPECT_EQ(midi_.messages().size(), messages);  // no MIDI message from any WAV-mode tone
}

TEST_F(WavMode, ToneEndIsOneFadeToSilence) {
  sound_->LuoDirectsound();
  sound_->aloita_savel(32900);
  const size_t mark = log().calls.size();
  sound_->lopeta_savel();
  EXPECT_EQ(callsAfter(mark), std::vector<std::string>{"fade"});
  EXPECT_EQ(log().volume, -10000);
  EXPECT_EQ(midi_.messages().back(), 0x007F07B0u);  // program 1: no all-notes-off in WAV mode
}

TEST_F(WavModeTiming, FadeThenAllNotesOffInProgram2) {
  sound_->LuoDirectsound();
  sound_->aloita_savel(2);
  sound_->lopeta_savel();
  EXPECT_EQ(log().volume, -10000);
  EXPECT_EQ(midi_.messages().back(), kAllNotesOff);
}

TEST_F(WavMode, InstrumentsInWavModeLoadTheirSample) {
  sound_->LuoDirectsound();
  const size_t messages = midi_.messages().size();
  sound_->selectInstrument(kInstruments[6]);  // KOTO
  EXPECT_EQ(sound_->soitintiedosto(), "koto.wav");
  EXPECT_EQ(midi_.messages().size(), messages);  // no program change in WAV mode
  EXPECT_EQ(log().calls.back(), "play 1");
  EXPECT_EQ(log().count("buffer 600 a2"), 1u);
  // Back in MIDI mode the program chosen before plays; the file name stays the last one.
  sound_->midiMode();
  sound_->aloita_savel(sound_->korkeudet()[1]);
  EXPECT_EQ(midi_.messages().back(), 0x00733290u);
  EXPECT_EQ(sound_->soitintiedosto(), "koto.wav");
}

TEST_F(WavMode, SoundTestRestartsAtMinus8dBAndSilences) {
  sound_->LuoDirectsound();
  const size_t mark = log().calls.size();
  sound_->soundTestPress();
  sound_->soundTestRelease();
  EXPECT_EQ(callsAfter(mark), (std::vector<std::string>{"pos 0", "vol -800", "vol -10000"}));
}

TEST(EDirectXText, DescriptionsOfEveryResult) {
  EXPECT_EQ(describeResult(0), "No error");
  EXPECT_EQ(describeResult(0x12345678), "Unrecognized Error");
  EXPECT_EQ(describeResult(DSERR_GENERIC), "Generic failure.");
  EXPECT_EQ(describeResult(DSERR_OUTOFMEMORY),
            "DirectDraw does not have enough memory to perform the operation.");
  EXPECT_EQ(describeResult(DSERR_INVALIDPARAM),
            "One or more of the parameters passed to the function are incorrect.");
  EXPECT_EQ(describeResult(0x80004002),
            "The specified interface is not supported by the object. This value is equal to the "
            "E_NOINTERFACE standard "
            "COM return value.");
  EXPECT_EQ(describeResult(DSERR_UNINITIALIZED),
            "The IDirectSound::Initialize method has not been called or has not been called successfully "
            "before other "
            "methods were called.");
  const HRESULT all[] = {0x80004001, 0x80004002, 0x80004005, 0x80040110, 0x8007000E, 0x80070057,
                         0x8878000A, 0x8878001E, 0x88780032, 0x88780046, 0x88780064, 0x88780078,
                         0x88780082, 0x88780096, 0x887800A0, 0x887800AA};
  for (HRESULT c : all) EXPECT_NE(describeResult(c), "Unrecognized Error") << std::hex << c;
  EXPECT_EQ(std::string(EDirectX(0).what()), "\r\rNo error\r\r");
}

TEST_F(WavMode, LeavingWavModeSilencesASoundingSample) {
  sound_->LuoDirectsound();
  sound_->aloita_savel(29300);
  EXPECT_EQ(log().volume, -500);
  sound_->midiMode();  // while the tone sounds
  EXPECT_EQ(log().calls.back(), "vol -10000");
  EXPECT_EQ(log().volume, -10000);
  EXPECT_TRUE(sound_->hasSampleBuffer());  // kept, silent, for a later return to WAV mode
}

TEST_F(WavMode, SamplePathsThatAreNoFilesAreRefusedAtOnce) {
  // A FIFO would hold a plain open until some writer came; a directory is no sample either.
  ASSERT_EQ(mkfifo((dir_.path() / "marimba.wav").c_str(), 0600), 0);
  std::filesystem::create_directory(dir_.path() / "clarinet.wav");
  for (const char* file : {"marimba.wav", "clarinet.wav"}) {
    sound_->selectInstrument(instrumentOf(file));
    try {
      sound_->LuoDirectsound();
      ADD_FAILURE() << file;
    } catch (const AssertionError& e) {
      EXPECT_NE(std::string(e.what()).find(std::string(file) +
                                           "\" KANN NICHT BENUTZT WERDEN: SIE KANN NICHT GELESEN WERDEN."),
                std::string::npos)
          << e.what();
    }
    expectUnchanged(true);
  }
}
