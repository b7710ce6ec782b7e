#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "sound/program_plan.h"
#include "sound/sound_output.h"
#include "support/recording_midi_out.h"
#include "support/recording_mixer.h"
#include "support/wav_builder.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {

// The two programs' differences: program 2 sets controller 7 on channel 1 at start-up and
// ends MIDI notes in WAV mode as well.
constexpr SoundProfile kChoice{false, false};
constexpr SoundProfile kTiming{true, true};

struct MidiRig {
  explicit MidiRig(SoundProfile p = kChoice, std::vector<FakeDevice> devices = {{"Synth A"}})
      : midi(std::move(devices)), sound({p, midi, mixer, clock, dir.path().string() + "/", nullptr}) {}
  // WAV mode with a short piano sample.
  void enterWavMode() {
    dir.write("piano.wav", pcmWave(pcm16(std::vector<int16_t>(100, 9))));
    sound.LuoDirectsound();
  }
  TempDir dir;
  TestClock clock;
  RecordingMidiOut midi;
  RecordingMixer mixer;
  SoundOutput sound;
};

}  // namespace

TEST(SoundMidi, StartUpSequenceOfEachProgram) {
  for (SoundProfile p : {kChoice, kTiming}) {
    MidiRig r(p, {{"Port", MOD_MIDIPORT}, {"Synth B", MOD_SWSYNTH}});
    r.sound.startUp();
    const HMIDIOUT h = 101;  // the fake's handle for device 1
    std::vector<MidiCall> want = {
        {"open", 1},
        {"reset", h},
        {"msg", h, 0x007F00C0},
        {"msg", h, 0x007F00C1},
        {"cache", 0, 2},
        {"volume", 1, 0xFFFFFFFF},
    };
    if (p.volumeOnChannel1) want.push_back({"msg", h, 0x007F07B1});
    want.push_back({"msg", h, 0x007F07B0});
    EXPECT_EQ(r.midi.actions(), want) << p.volumeOnChannel1;
    EXPECT_EQ(r.sound.midilaite(), 1u);
    EXPECT_EQ(r.sound.midi_kahva(), h);
    EXPECT_EQ(r.sound.midilaitteen_nimi(), "Synth B");
  }
}

TEST(SoundMidi, PatchCachingMarksSevenProgramsWith86Not88) {
  MidiRig r;
  r.sound.startUp();
  std::vector<uint16_t> want(128, 0);
  for (int p : {0, 12, 56, 71, 80, 86, 107}) want[p] = 1;
  EXPECT_EQ(r.midi.cachedPatches, want);
  EXPECT_EQ(r.sound.patchit()[88], 0);
}

TEST(SoundMidi, DefaultDeviceIsTheFirstThatIsNoPort) {
  MidiRig a(kChoice,
            {{"P1", MOD_MIDIPORT}, {"Unreadable", MOD_SWSYNTH, false}, {"S", MOD_SYNTH}, {"T", MOD_SWSYNTH}});
  a.sound.HaeOletuslaite();
  EXPECT_EQ(a.sound.midilaite(), 2u);

  // Every device an external port: the default stays device 0 (a port), which opens.
  MidiRig b(kChoice, {{"P1", MOD_MIDIPORT}, {"P2", MOD_MIDIPORT}});
  b.sound.startUp();
  EXPECT_EQ(b.sound.midilaite(), 0u);
  EXPECT_EQ(b.sound.midilaitteen_nimi(), "P1");

  // No device at all: 0 stays, the open fails and every message goes to a dead handle.
  MidiRig c(kChoice, {});
  c.sound.startUp();
  c.sound.finishCreation();
  EXPECT_EQ(c.sound.midilaite(), 0u);
  EXPECT_EQ(c.sound.midi_kahva(), 0u);
  EXPECT_EQ(c.sound.midilaitteen_nimi(), "");
  c.sound.aloita_savel(50);
  c.sound.lopeta_savel();
  EXPECT_EQ(c.midi.calls.back().op, "msg");
  EXPECT_EQ(c.midi.calls.back().a, 0u);

  // The mapper is never the start-up choice, even when it answers first in the list's order.
  EXPECT_EQ(std::count_if(a.midi.calls.begin(), a.midi.calls.end(),
                          [](const MidiCall& m) { return m.op == "caps" && m.a == MIDI_MAPPER; }),
            0);
}

TEST(SoundMidi, PackedWordsForEveryToneValue) {
  MidiRig r;
  r.sound.startUp();
  r.sound.finishCreation();
  r.midi.calls.clear();
  for (int32_t v : {50, 52, 54, 56, 58, 60}) r.sound.aloita_savel(v);
  r.sound.aloita_savel(1);
  r.sound.aloita_savel(2);
  r.sound.aloita_savel(0);
  r.sound.aloita_savel(26200);  // a task built in WAV mode: the low byte, note 88
  r.sound.aloita_savel(44100);  // 44100 = 0xAC44: note 0x44
  const std::vector<uint32_t> want = {0x00733290,   0x00733490, 0x00733690, 0x00733890,
                                      0x00733A90,   0x00733C90, 0x007F3C90, 0x003C3C90,
                                      kRestNoteOff, 0x00735890, 0x00734490};
  EXPECT_EQ(r.midi.messages(), want);
  EXPECT_EQ(kRestNoteOff & 0xF0, 0x80u);
}

TEST(SoundMidi, ProgramChangeSendsOnlyTheLowByte) {
  MidiRig r;
  r.sound.startUp();
  r.midi.calls.clear();
  r.sound.valitse_soitin(88);
  r.sound.valitse_soitin(256 + 12);
  EXPECT_EQ(r.midi.messages(), (std::vector<uint32_t>{0x007F58C0, 0x007F0CC0}));
}

TEST(SoundMidi, PitchTablePerMode) {
  MidiRig r;
  r.sound.finishCreation();
  EXPECT_EQ(r.sound.korkeudet(), (std::array<int32_t, 10>{0, 50, 52, 54, 56, 58, 60, 1, 2, 0}));
  r.enterWavMode();
  EXPECT_EQ(r.sound.korkeudet(),
            (std::array<int32_t, 10>{0, 26200, 29300, 32900, 34600, 38800, 44100, 1, 2, 0}));
  EXPECT_EQ(r.sound.soitintiedosto(), "piano.wav");
}

TEST(SoundMidi, ToneEndPerProgramAndMode) {
  for (SoundProfile p : {kChoice, kTiming}) {
    MidiRig r(p);
    r.sound.startUp();
    r.sound.finishCreation();
    r.midi.calls.clear();
    r.sound.lopeta_savel();
    EXPECT_EQ(r.midi.messages(), std::vector<uint32_t>{kAllNotesOff});
    // WAV mode without a buffer (the sample of the instrument chosen in it is missing):
    // program 1 sends nothing, program 2 still ends MIDI notes.
    r.enterWavMode();
    EXPECT_ANY_THROW(r.sound.selectInstrument(kInstruments[6]));
    EXPECT_FALSE(r.sound.hasSampleBuffer());
    r.midi.calls.clear();
    r.sound.lopeta_savel();
    r.sound.aloita_savel(50);
    const std::vector<uint32_t> wavMode =
        p.allNotesOffInWavMode ? std::vector<uint32_t>{kAllNotesOff} : std::vector<uint32_t>{};
    EXPECT_EQ(r.midi.messages(), wavMode);
  }
}

TEST(SoundMidi, InstrumentTableAndMidiModeHandlers) {
  const char* captions[] = {"KLAVIER",    "MARIMBA",    "TROMPETE", "KLARINETTE",
                            "KEYBOARD 1", "KEYBOARD 2", "KOTO"};
  const char* items[] = {"PIANO1",         "MARIMBA1",       "TRUMPETTI1", "KLARINETTI1",
                         "ELEKTRONINEN11", "ELEKTRONINEN21", "KOTO1"};
  const int programs[] = {0, 12, 56, 71, 88, 80, 107};
  const char* files[] = {"piano.wav",     "marimba.wav", "trumpet.wav", "clarinet.wav",
                         "solosynth.wav", "square.wav",  "koto.wav"};
  MidiRig r;
  r.sound.startUp();
  r.sound.finishCreation();
  for (size_t i = 0; i < kInstruments.size(); ++i) {
    const Instrument& in = kInstruments[i];
    EXPECT_STREQ(in.caption, captions[i]);
    EXPECT_STREQ(in.item, items[i]);
    EXPECT_EQ(in.program, programs[i]);
    EXPECT_STREQ(in.file, files[i]);
    r.midi.calls.clear();
    r.sound.selectInstrument(in);
    EXPECT_EQ(r.sound.soitintiedosto(), files[i]);
    EXPECT_EQ(r.midi.messages(), std::vector<uint32_t>{0x007F00C0u + 256u * programs[i]});
  }
  EXPECT_TRUE(r.mixer.log.calls.empty());  // MIDI mode builds no mixer
}

TEST(SoundMidi, SoundTestInMidiMode) {
  MidiRig r;
  r.sound.startUp();
  r.sound.finishCreation();
  r.midi.calls.clear();
  r.sound.soundTestPress();
  r.sound.soundTestRelease();
  EXPECT_EQ(r.midi.messages(), (std::vector<uint32_t>{0x007F3290, 0x00007BB0}));
}

TEST(SoundMidi, CloseClosesTheHandle) {
  MidiRig r;
  r.sound.startUp();
  r.midi.calls.clear();
  r.sound.sulje_midi();
  EXPECT_EQ(r.midi.actions(), (std::vector<MidiCall>{{"close", 100}}));
}

TEST(SoundMidi, SynthPlanHoldsExactlyThePresetsUsedAndCoversEveryToneSent) {
  MidiRig r;
  r.sound.startUp();
  r.sound.finishCreation();
  for (const Instrument& i : kInstruments) r.sound.selectInstrument(i);
  for (size_t e = 1; e < r.sound.korkeudet().size(); ++e) r.sound.aloita_savel(r.sound.korkeudet()[e]);
  r.sound.soundTestPress();
  const SynthPlan plan = builtinSynthPlan();
  std::set<int> used;
  for (int p = 0; p < 128; ++p)
    if (r.midi.cachedPatches[p] != 0) used.insert(p);
  for (uint32_t w : r.midi.messages()) {
    const int d1 = w >> 8 & 0x7F, d2 = w >> 16 & 0x7F;
    if ((w & 0xF0) == 0xC0) used.insert(d1);
    if ((w & 0xF0) == 0x90 && d2 > 0) {
      const bool covered = std::any_of(plan.loudestTones.begin(), plan.loudestTones.end(),
                                       [&](SynthTone t) { return t.note == d1 && t.velocity >= d2; });
      EXPECT_TRUE(covered) << std::hex << w;
    }
  }
  EXPECT_EQ(plan.presets, std::vector<int>(used.begin(), used.end()));
  EXPECT_TRUE(used.count(86) && used.count(88));  // 86 cached, 88 played
  std::vector<int> instruments;
  for (const Instrument& i : kInstruments) instruments.push_back(i.program);
  EXPECT_EQ(plan.instruments, instruments);
}
