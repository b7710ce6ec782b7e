#include "sound/sound_output.h"

#include <algorithm>

namespace taktovi {

SoundOutput::SoundOutput(SoundDeps deps) : deps_(std::move(deps)) {}

SoundOutput::~SoundOutput() { PoistaDirectsound(); }

void SoundOutput::startUp() {
  midi_kahva = 0;
  laitetiedot = {};
  HaeOletuslaite();
  deps_.midi.midiOutOpen(midi_kahva, midilaite);
  if (deps_.midi.midiOutGetDevCaps(midilaite, laitetiedot) == MMSYSERR_NOERROR) midilaitteen_nimi = laitetiedot.szPname;
  deps_.midi.midiOutReset(midi_kahva);
  valitse_soitin(0);
  deps_.midi.midiOutShortMsg(midi_kahva, kProgramChange0Ch1);
  lataa_patchit();
  deps_.midi.midiOutSetVolume(midilaite, kFullVolume);
  if (deps_.program == Program::Timing) deps_.midi.midiOutShortMsg(midi_kahva, kVolumeFullCh1);
  deps_.midi.midiOutShortMsg(midi_kahva, kVolumeFullCh0);
}

void SoundOutput::finishCreation() {
  midi_tila = true;
  soitintiedosto = "piano.wav";
  MaaritaKorkeudet();
}

void SoundOutput::HaeOletuslaite() {
  const uint32_t count = deps_.midi.midiOutGetNumDevs();
  for (uint32_t id = 0; id < count; ++id) {
    if (deps_.midi.midiOutGetDevCaps(id, laitetiedot) == MMSYSERR_NOERROR && laitetiedot.wTechnology != MOD_MIDIPORT) {
      midilaite = id;
      return;
    }
  }
}

void SoundOutput::lataa_patchit() {
  patchit.fill(0);
  for (int p : kCachedPatches) patchit[p] = 1;
  deps_.midi.midiOutCachePatches(midi_kahva, 0, patchit.data(), MIDI_CACHE_BESTFIT);
}

void SoundOutput::valitse_soitin(int program) {
  deps_.midi.midiOutShortMsg(midi_kahva, 0x007F00C0u + 256u * (static_cast<uint32_t>(program) & 0xFF));
}

void SoundOutput::MaaritaKorkeudet() {
  korkeudet[7] = 1;
  korkeudet[8] = 2;
  korkeudet[9] = 0;
  const auto& levels = midi_tila ? kMidiPitches : kWavRates;
  std::copy(levels.begin(), levels.end(), korkeudet.begin() + 1);
}

void SoundOutput::aloita_savel(int32_t arvo) {
  uint32_t message = 0x90;
  if (arvo > 2) message = kPitchedToneOn + 256u * (static_cast<uint32_t>(arvo) & 0xFF);
  if (arvo == 1) message = kStrongToneOn;
  if (arvo == 2) message = 0x003C3C90;
  if (arvo == 0) message = kRestNoteOff;
  if (midi_tila) {
    deps_.midi.midiOutShortMsg(midi_kahva, message);
    return;
  }
  if (!aanipuskuri) return;  // WAV mode without a sample: silent
  if (arvo > 2) {
    aanipuskuri->SetCurrentPosition(0);
    aanipuskuri->SetFrequency(static_cast<uint32_t>(arvo));
    aanipuskuri->SetVolume(-500);
  } else if (arvo == 1) {
    aanipuskuri->SetCurrentPosition(0);
    aanipuskuri->SetFrequency(kWavToneRate);
    aanipuskuri->SetVolume(0);
  } else if (arvo == 2) {
    aanipuskuri->SetCurrentPosition(0);
    aanipuskuri->SetFrequency(kWavToneRate);
    aanipuskuri->SetVolume(-800);
  } else if (arvo == 0) {
    aanipuskuri->SetVolume(DSBVOLUME_MIN);
  }
}

void SoundOutput::lopeta_savel() {
  if (!midi_tila) fadeOut();
  if (midi_tila || deps_.program == Program::Timing) deps_.midi.midiOutShortMsg(midi_kahva, kAllNotesOff);
}

void SoundOutput::fadeOut() {
  if (!aanipuskuri) return;
  int32_t v = DSBVOLUME_MIN;
  aanipuskuri->GetVolume(&v);
  const uint32_t t0 = deps_.clock.timeGetTime();
  // Steps of 0.02 dB; the mixer refuses the last one below -10000, so the buffer ends there.
  for (;;) {
    v -= 2;
    aanipuskuri->SetVolume(v);
    if (v < DSBVOLUME_MIN || deps_.clock.timeGetTime() - t0 > 100) break;
  }
}

void SoundOutput::sulje_midi() { deps_.midi.midiOutClose(midi_kahva); }

void SoundOutput::chooseInstrument(const Instrument& instrument) {
  soitintiedosto = instrument.file;
  if (midi_tila) valitse_soitin(instrument.program);
  if (!midi_tila) LuoDirectsound();
}

void SoundOutput::soundTestPress() {
  if (midi_tila) {
    deps_.midi.midiOutShortMsg(midi_kahva, kSoundTestOn);
  } else if (aanipuskuri) {
    aanipuskuri->SetCurrentPosition(0);
    aanipuskuri->SetVolume(-800);
  }
}

void SoundOutput::soundTestRelease() {
  if (midi_tila) {
    deps_.midi.midiOutShortMsg(midi_kahva, kAllNotesOff);
  } else if (aanipuskuri) {
    aanipuskuri->SetVolume(DSBVOLUME_MIN);
  }
}

}  // namespace taktovi
