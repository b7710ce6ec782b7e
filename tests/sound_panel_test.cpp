#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "sound/sound_panel.h"
#include "support/choice_rig.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {

QStringList entries(QComboBox* c) {
  QStringList l;
  for (int i = 0; i < c->count(); ++i) l << c->itemText(i);
  return l;
}

}  // namespace

TEST(SoundPanel, ListsSynthesizersAndTheMapperButNeverPorts) {
  ChoiceRig rig({800, 600}, {{"Port A", MOD_MIDIPORT}, {"Synth B"}, {"Broken", MOD_SWSYNTH, false}, {"Synth C", MOD_SYNTH}});
  SoundPanel& p = *rig.form->Panel7;
  rig.form->MIDINI1Click();
  EXPECT_FALSE(p.isHidden());
  EXPECT_EQ(entries(p.ComboBox1), (QStringList{"Synth B", "Synth C", "Fake Mapper"}));
  EXPECT_EQ(p.laitenumerot(), (std::vector<uint32_t>{1, 3, MIDI_MAPPER}));
  EXPECT_EQ(p.ComboBox1->currentText(), "Synth B");  // the current device's name
  EXPECT_EQ(p.Edit3->text(), "");
}

TEST(SoundPanel, NoDevicesOnlyPortsAndMoreThanFit) {
  ChoiceRig none({800, 600}, {});
  none.midi.mapperAnswers = false;
  none.form->MIDINI1Click();
  EXPECT_EQ(none.form->Panel7->ComboBox1->count(), 0);
  ChoiceRig mapperOnly({800, 600}, {});
  mapperOnly.form->MIDINI1Click();
  EXPECT_EQ(entries(mapperOnly.form->Panel7->ComboBox1), QStringList{"Fake Mapper"});

  ChoiceRig ports({800, 600}, {{"P1", MOD_MIDIPORT}, {"P2", MOD_MIDIPORT}});
  ports.form->MIDINI1Click();
  EXPECT_EQ(entries(ports.form->Panel7->ComboBox1), QStringList{"Fake Mapper"});
  EXPECT_EQ(ports.form->sound.midilaite, 0u);  // the start-up kept device 0, a port

  std::vector<FakeDevice> many;
  for (int i = 0; i < 9; ++i) many.push_back({"Synth " + std::to_string(i)});
  ChoiceRig lots({800, 600}, many);
  lots.form->MIDINI1Click();
  EXPECT_EQ(lots.form->Panel7->ComboBox1->count(), 10);
  EXPECT_EQ(lots.form->Panel7->laitenumerot().size(), 10u);
  lots.form->Panel7->ComboBox1Change(8);
  EXPECT_EQ(lots.form->sound.midilaite, 8u);
  // The list is rebuilt at every opening.
  lots.midi.devices.resize(2);
  lots.form->MIDINI1Click();
  EXPECT_EQ(lots.form->Panel7->ComboBox1->count(), 3);
}

TEST(SoundPanel, ChoosingADeviceReportsTheOpenAndResetsIt) {
  ChoiceRig rig({800, 600}, {{"Synth A"}, {"Dead", MOD_SWSYNTH, true, false}});
  SoundPanel& p = *rig.form->Panel7;
  rig.form->MIDINI1Click();
  rig.midi.calls.clear();
  p.ComboBox1Change(1);
  EXPECT_EQ(p.Edit3->text(), "Ihre Auswahl war nicht erfolgreich");
  EXPECT_EQ(rig.midi.actions(), (std::vector<MidiCall>{{"close", 100}, {"open", 1}, {"reset", 0}, {"volume", 1, 0xFFFFFFFF}}));
  EXPECT_EQ(rig.form->sound.midilaitteen_nimi, "Dead");
  rig.midi.calls.clear();
  p.ComboBox1Change(0);
  EXPECT_EQ(p.Edit3->text(), "Ihre Auswahl war erfolgreich");
  EXPECT_EQ(rig.midi.actions(), (std::vector<MidiCall>{{"close", 0}, {"open", 0}, {"reset", 100}, {"volume", 0, 0xFFFFFFFF}}));
  EXPECT_TRUE(rig.midi.messages().empty());  // no program change, controller or patches
  // No entry chosen (typing into the field): nothing is opened or closed.
  rig.midi.calls.clear();
  p.ComboBox1Change(-1);
  p.ComboBox1Change(7);
  EXPECT_TRUE(rig.midi.actions().empty());
  EXPECT_TRUE(p.ComboBox1->lineEdit()->isReadOnly());
}

TEST(SoundPanel, ModeButtonsSoundTestAndOk) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  SoundPanel& p = *f.Panel7;
  f.MIDINI1Click();
  auto* wav = p.findChild<QPushButton*>("Button8");
  auto* midi = p.findChild<QPushButton*>("Button9");
  auto* test = p.findChild<QPushButton*>("Button4");
  auto* ok = p.findChild<QPushButton*>("Button5");
  ASSERT_TRUE(wav && midi && test && ok);
  EXPECT_EQ(wav->text(), "WAV");
  EXPECT_EQ(midi->text(), "MIDI");
  EXPECT_EQ(test->text(), "SOUND TEST");
  EXPECT_EQ(wav->geometry(), QRect(624, 104, 121, 57));
  EXPECT_EQ(p.Edit3->geometry(), QRect(465, 56, 276, 24));
  // WAV without a sample file: the error display, the status unchanged.
  QTest::mouseClick(wav, Qt::LeftButton);
  EXPECT_EQ(rig.errors.shown, std::vector<std::string>{"Assertion failure"});
  EXPECT_EQ(p.Edit3->text(), "");
  EXPECT_TRUE(f.sound.midi_tila);
  rig.dir.write("piano.wav", pcmWave(pcm16(std::vector<int16_t>(100, 9))));
  QTest::mouseClick(wav, Qt::LeftButton);
  EXPECT_EQ(p.Edit3->text(), "WAV MODE");
  EXPECT_FALSE(f.sound.midi_tila);
  EXPECT_EQ(f.sound.korkeudet[6], 44100);
  // The sound test in WAV mode, on press and release.
  QTest::mousePress(test, Qt::LeftButton);
  QTest::mouseRelease(test, Qt::LeftButton);
  const auto& log = rig.mixer.log.calls;
  EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()), (std::vector<std::string>{"pos 0", "vol -800", "vol -10000"}));
  QTest::mouseClick(midi, Qt::LeftButton);
  EXPECT_EQ(p.Edit3->text(), "MIDI MODE");
  EXPECT_TRUE(f.sound.midi_tila);
  EXPECT_EQ(f.sound.korkeudet[6], 60);
  EXPECT_TRUE(f.sound.aanipuskuri);  // the buffer stays
  rig.midi.calls.clear();
  QTest::mousePress(test, Qt::LeftButton);
  QTest::mouseRelease(test, Qt::LeftButton);
  EXPECT_EQ(rig.midi.messages(), (std::vector<uint32_t>{0x007F3290, 0x00007BB0}));
  QTest::mouseClick(ok, Qt::LeftButton);
  EXPECT_TRUE(p.isHidden());
  // The panel keeps its own colour when the window's changes.
  f.PanelClick(3);
  EXPECT_EQ(p.palette().color(QPalette::Window), QColor(192, 192, 192));
}
