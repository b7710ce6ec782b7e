#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "audio/system_midi_out.h"
#include "support/offline_run.h"

using namespace taktovi;
using namespace taktovi::test;

TEST(SystemMidiOut, BuiltinSynthAndMapper) {
  TestClock clock;
  AudioEngine engine(clock, offline());
  class TwoPorts final : public MidiPorts {
   public:
    std::vector<MidiPort> list() override {
      return {{14, 0, "Midi Through Port-0", MOD_MIDIPORT},
              {128, 0, "A very long synthesizer port name that goes on", MOD_SWSYNTH}};
    }
    bool send(const MidiPort& p, uint32_t w) override {
      sent.push_back(w);
      return p.client != 128;  // the second port has gone away
    }
    std::vector<uint32_t> sent;
  };
  auto ports = std::make_unique<TwoPorts>();
  TwoPorts* raw = ports.get();
  SystemMidiOut midi(engine, std::move(ports));
  ASSERT_EQ(midi.midiOutGetNumDevs(), 3u);
  MidiOutCaps caps;
  ASSERT_EQ(midi.midiOutGetDevCaps(0, caps), 0u);  // while the soundfont still loads
  EXPECT_EQ(caps.wTechnology, MOD_SWSYNTH);
  EXPECT_STREQ(caps.szPname, kBuiltinSynthName);
  ASSERT_EQ(midi.midiOutGetDevCaps(MIDI_MAPPER, caps), 0u);
  EXPECT_EQ(caps.wTechnology, MOD_MAPPER);
  ASSERT_EQ(midi.midiOutGetDevCaps(1, caps), 0u);
  EXPECT_EQ(caps.wTechnology, MOD_MIDIPORT);
  ASSERT_EQ(midi.midiOutGetDevCaps(2, caps), 0u);
  EXPECT_EQ(std::strlen(caps.szPname), 31u);
  EXPECT_NE(midi.midiOutGetDevCaps(3, caps), 0u);

  HMIDIOUT h = 0;
  ASSERT_EQ(midi.midiOutOpen(h, 1), 0u);
  EXPECT_EQ(midi.midiOutShortMsg(h, 0x00733C90), 0u);
  EXPECT_EQ(raw->sent.back(), 0x00733C90u);
  HMIDIOUT gone = 0;
  ASSERT_EQ(midi.midiOutOpen(gone, 2), 0u);
  EXPECT_NE(midi.midiOutShortMsg(gone, 0x00733C90), 0u);  // fails, silently
  EXPECT_EQ(midi.midiOutClose(h), 0u);
  EXPECT_NE(midi.midiOutShortMsg(h, 0x00733C90), 0u);  // closed
  HMIDIOUT bad = 7;
  EXPECT_NE(midi.midiOutOpen(bad, 9), 0u);
  EXPECT_EQ(bad, 0u);
  EXPECT_NE(midi.midiOutShortMsg(bad, 0x00733C90), 0u);
  HMIDIOUT synth = 0;
  EXPECT_EQ(midi.midiOutOpen(synth, 0), 0u);
  EXPECT_EQ(midi.midiOutReset(synth), 0u);
  EXPECT_EQ(midi.midiOutSetVolume(0, 0xFFFFFFFF), 0u);
  EXPECT_EQ(midi.midiOutSetVolume(1, 0xFFFFFFFF), MMSYSERR_NOTSUPPORTED);
  engine.waitForSynth();
}

TEST(SystemMidiOut, NoSoundfontMeansNoUsableDevice) {
  TestClock clock;
  AudioEngine engine(clock, offline({}));
  SystemMidiOut midi(engine, openAlsaPorts());  // no /dev/snd/seq here: no ports
  EXPECT_GE(midi.midiOutGetNumDevs(), 1u);
  MidiOutCaps caps;
  EXPECT_NE(midi.midiOutGetDevCaps(0, caps), 0u);
  EXPECT_NE(midi.midiOutGetDevCaps(MIDI_MAPPER, caps), 0u);
  HMIDIOUT h = 5;
  EXPECT_NE(midi.midiOutOpen(h, 0), 0u);
  EXPECT_EQ(h, 0u);
}

TEST(MidiPorts, TechnologyFromThePortType) {
  EXPECT_EQ(technologyForPortType(0x2 | 0x100000), MOD_MIDIPORT);             // MIDI generic, hardware
  EXPECT_EQ(technologyForPortType(0x2 | 0x100000 | 0x400000), MOD_MIDIPORT);  // application port
  EXPECT_EQ(technologyForPortType(0x400 | 0x10000 | 0x20000), MOD_SWSYNTH);   // software synthesizer
  EXPECT_EQ(technologyForPortType(0x400 | 0x40000), MOD_SYNTH);               // hardware synthesizer
  EXPECT_EQ(technologyForPortType(0x1000 | 0x80000), MOD_SYNTH);              // sampler
}
