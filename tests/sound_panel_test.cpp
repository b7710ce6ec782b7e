#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "sound/sound_panel.h"
#include "support/choice_view.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {

QStringList entries(QComboBox* c) {
  QStringList l;
  for (int i = 0; i < c->count(); ++i) l << c->itemText(i);
  return l;
}

// The user picks entry `i` of the device list.
void choose(ChoiceRig& rig, int i) {
  emit rig.get<QComboBox>("ComboBox1")->activated(i);
}

uint32_t openedDevice(const RecordingMidiOut& midi) {
  for (auto it = midi.calls.rbegin(); it != midi.calls.rend(); ++it)
    if (it->op == "open") return it->a;
  return 0xDEAD;
}

}  // namespace

TEST(SoundPanel, ListsSynthesizersAndTheMapperButNeverPorts) {
  ChoiceRig rig(
      {800, 600},
      {{"Port A", MOD_MIDIPORT}, {"Synth B"}, {"Broken", MOD_SWSYNTH, false}, {"Synth C", MOD_SYNTH}});
  rig.action("MIDINI1")->trigger();
  auto* list = rig.get<QComboBox>("ComboBox1");
  EXPECT_FALSE(rig.get("Panel7")->isHidden());
  EXPECT_EQ(entries(list), (QStringList{"Synth B", "Synth C", "Fake Mapper"}));
  EXPECT_EQ(list->currentText(), "Synth B");  // the current device's name
  EXPECT_EQ(rig.get<QLineEdit>("Edit3")->text(), "");
  // Each entry stands for its own device id.
  const uint32_t ids[] = {1, 3, MIDI_MAPPER};
  for (int i = 0; i < 3; ++i) {
    choose(rig, i);
    EXPECT_EQ(openedDevice(rig.midi), ids[i]) << i;
  }
}

TEST(SoundPanel, NoDevicesOnlyPortsAndMoreThanFit) {
  ChoiceRig none({800, 600}, {});
  none.midi.mapperAnswers = false;
  none.action("MIDINI1")->trigger();
  EXPECT_EQ(none.get<QComboBox>("ComboBox1")->count(), 0);
  ChoiceRig mapperOnly({800, 600}, {});
  mapperOnly.action("MIDINI1")->trigger();
  EXPECT_EQ(entries(mapperOnly.get<QComboBox>("ComboBox1")), QStringList{"Fake Mapper"});

  ChoiceRig ports({800, 600}, {{"P1", MOD_MIDIPORT}, {"P2", MOD_MIDIPORT}});
  ports.action("MIDINI1")->trigger();
  EXPECT_EQ(entries(ports.get<QComboBox>("ComboBox1")), QStringList{"Fake Mapper"});
  EXPECT_EQ(view(ports).sound().midilaite(), 0u);  // the start-up kept device 0, a port

  std::vector<FakeDevice> many;
  for (int i = 0; i < 9; ++i) many.push_back({"Synth " + std::to_string(i)});
  ChoiceRig lots({800, 600}, many);
  lots.action("MIDINI1")->trigger();
  EXPECT_EQ(lots.get<QComboBox>("ComboBox1")->count(), 10);
  choose(lots, 8);
  EXPECT_EQ(view(lots).sound().midilaite(), 8u);
  choose(lots, 9);
  EXPECT_EQ(view(lots).sound().midilaite(), MIDI_MAPPER);
  // The list is rebuilt at every opening.
  lots.midi.devices.resize(2);
  lots.action("MIDINI1")->trigger();
  EXPECT_EQ(lots.get<QComboBox>("ComboBox1")->count(), 3);
}

TEST(SoundPanel, ChoosingADeviceReportsTheOpenAndResetsIt) {
  ChoiceRig rig({800, 600}, {{"Synth A"}, {"Dead", MOD_SWSYNTH, true, false}});
  auto* status = rig.get<QLineEdit>("Edit3");
  rig.action("MIDINI1")->trigger();
  rig.midi.calls.clear();
  choose(rig, 1);
  EXPECT_EQ(status->text(), "Ihre Auswahl war nicht erfolgreich");
  EXPECT_EQ(rig.midi.actions(),
            (std::vector<MidiCall>{{"close", 100}, {"open", 1}, {"reset", 0}, {"volume", 1, 0xFFFFFFFF}}));
  EXPECT_EQ(view(rig).sound().midilaitteen_nimi(), "Dead");
  rig.midi.calls.clear();
  choose(rig, 0);
  EXPECT_EQ(status->text(), "Ihre Auswahl war erfolgreich");
  EXPECT_EQ(rig.midi.actions(),
            (std::vector<MidiCall>{{"close", 0}, {"open", 0}, {"reset", 100}, {"volume", 0, 0xFFFFFFFF}}));
  EXPECT_TRUE(rig.midi.messages().empty());  // no program change, controller or patches
  // Typing into the list's field chooses, opens and closes nothing.
  rig.midi.calls.clear();
  auto* field = rig.get<QComboBox>("ComboBox1")->lineEdit();
  EXPECT_TRUE(field->isReadOnly());
  QTest::keyClicks(field, "Synth");
  EXPECT_TRUE(rig.midi.actions().empty());
}

TEST(SoundPanel, ModeButtonsSoundTestAndOk) {
  ChoiceRig rig;
  ChoiceTestView v = view(rig);
  rig.action("MIDINI1")->trigger();
  auto* wav = rig.get<QPushButton>("Button8");
  auto* midi = rig.get<QPushButton>("Button9");
  auto* test = rig.get<QPushButton>("Button4");
  auto* ok = rig.get<QPushButton>("Button5");
  auto* status = rig.get<QLineEdit>("Edit3");
  EXPECT_EQ(wav->text(), "WAV");
  EXPECT_EQ(midi->text(), "MIDI");
  EXPECT_EQ(test->text(), "SOUND TEST");
  EXPECT_EQ(wav->geometry(), QRect(624, 104, 121, 57));
  EXPECT_EQ(status->geometry(), QRect(465, 56, 276, 24));
  // WAV without a sample file: the error display, the status unchanged.
  QTest::mouseClick(wav, Qt::LeftButton);
  ASSERT_EQ(rig.errors.shown.size(), 1u);
  EXPECT_NE(rig.errors.shown[0].find("Assertion failure"), std::string::npos);
  EXPECT_EQ(status->text(), "");
  EXPECT_TRUE(v.sound().midi_tila());
  rig.dir.write("piano.wav", pcmWave(pcm16(std::vector<int16_t>(100, 9))));
  QTest::mouseClick(wav, Qt::LeftButton);
  EXPECT_EQ(status->text(), "WAV MODE");
  EXPECT_FALSE(v.sound().midi_tila());
  EXPECT_EQ(v.sound().korkeudet()[6], 44100);
  // The sound test in WAV mode, on press and release.
  QTest::mousePress(test, Qt::LeftButton);
  QTest::mouseRelease(test, Qt::LeftButton);
  const auto& log = rig.mixer.log.calls;
  EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
            (std::vector<std::string>{"pos 0", "vol -800", "vol -10000"}));
  QTest::mouseClick(midi, Qt::LeftButton);
  EXPECT_EQ(status->text(), "MIDI MODE");
  EXPECT_TRUE(v.sound().midi_tila());
  EXPECT_EQ(v.sound().korkeudet()[6], 60);
  EXPECT_TRUE(v.sound().hasSampleBuffer());  // the buffer stays
  rig.midi.calls.clear();
  QTest::mousePress(test, Qt::LeftButton);
  QTest::mouseRelease(test, Qt::LeftButton);
  EXPECT_EQ(rig.midi.messages(), (std::vector<uint32_t>{0x007F3290, 0x00007BB0}));
  QTest::mouseClick(ok, Qt::LeftButton);
  EXPECT_TRUE(rig.get("Panel7")->isHidden());
  // The panel keeps its own colour when the window's changes.
  QTest::mouseClick(rig.get("Panel5"), Qt::LeftButton);
  EXPECT_EQ(backgroundOf(rig.get("Panel7")), QColor(192, 192, 192));
}

TEST(SoundPanel, SoundTestForAnyButtonOncePerPressWhereverThePointerGoes) {
  ChoiceRig rig;
  rig.action("MIDINI1")->trigger();
  auto* test = rig.get<QPushButton>("Button4");
  rig.midi.calls.clear();
  QTest::mousePress(test, Qt::RightButton);
  QTest::mouseMove(test, QPoint(-40, -40));  // off the button and back while held
  QTest::mouseMove(test, test->rect().center());
  QTest::mousePress(test, Qt::MiddleButton);  // a second button adds no second tone
  QTest::mouseRelease(test, Qt::MiddleButton);
  EXPECT_EQ(rig.midi.messages(), std::vector<uint32_t>{0x007F3290});
  QTest::mouseRelease(test, Qt::RightButton, {}, QPoint(-40, -40));
  EXPECT_EQ(rig.midi.messages(), (std::vector<uint32_t>{0x007F3290, 0x00007BB0}));
  // A double click: press, release, double-click press, release.
  QTest::mousePress(test, Qt::LeftButton);
  QTest::mouseRelease(test, Qt::LeftButton);
  QTest::mouseDClick(test, Qt::LeftButton);
  QTest::mouseRelease(test, Qt::LeftButton);
  EXPECT_EQ(rig.midi.messages(),
            (std::vector<uint32_t>{0x007F3290, 0x00007BB0, 0x007F3290, 0x00007BB0, 0x007F3290, 0x00007BB0}));
}

TEST(SoundPanel, SaysWhatTheSoundOutputIsMissing) {
  ChoiceRig rig;
  auto* note = rig.get<QLabel>("AudioNote");
  rig.action("MIDINI1")->trigger();
  EXPECT_EQ(note->text(), "");
  using enum AudioReport::Soundfont;
  const struct {
    AudioReport report;
    const char* text;
  } cases[] = {{{false, Usable}, "KEINE AUDIO-AUSGABE GEFUNDEN."},
               {{true, Missing}, "KEIN SOUNDFONT GEFUNDEN."},
               {{false, Missing}, "KEINE AUDIO-AUSGABE UND KEIN SOUNDFONT GEFUNDEN."},
               {{true, Unusable}, "DER SOUNDFONT KANN NICHT BENUTZT WERDEN."},
               {{false, Unusable}, "KEINE AUDIO-AUSGABE GEFUNDEN, DER SOUNDFONT KANN NICHT BENUTZT WERDEN."}};
  for (const auto& c : cases) {
    rig.audio = c.report;
    rig.action("MIDINI1")->trigger();
    EXPECT_EQ(note->text(), c.text);
    EXPECT_LE(note->heightForWidth(note->width()), note->height()) << c.text;  // no line cut off
  }
  // The note stands beside the failure of a choice, in the panel's free space; it tells what the
  // current mode lacks.
  rig.audio = {};
  rig.midi.devices[0].openOk = false;
  choose(rig, 0);
  EXPECT_EQ(rig.get<QLineEdit>("Edit3")->text(), "Ihre Auswahl war nicht erfolgreich");
  EXPECT_EQ(note->text(), "KEIN MIDI-GERÄT GEÖFFNET.");
  rig.dir.write("piano.wav", pcmWave(pcm16({0, 1000, 0, -1000})));
  rig.get<QPushButton>("Button8")->click();
  EXPECT_EQ(note->text(), "");
  rig.action("MARIMBA1")->trigger();  // no such sample: WAV mode stays, with nothing to play
  EXPECT_EQ(rig.errors.shown.size(), 1u);
  rig.action("MIDINI1")->trigger();
  EXPECT_EQ(note->text(), "KEIN WAV-INSTRUMENT GELADEN.");
  EXPECT_FALSE(note->isHidden());
  for (const char* other : {"Edit3", "ComboBox1", "Button9", "Button8", "Button4", "Button5", "Memo2"})
    EXPECT_FALSE(note->geometry().intersects(rig.get(other)->geometry())) << other;
}
