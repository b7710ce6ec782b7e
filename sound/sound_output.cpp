#include "sound/sound_output.h"

#include <algorithm>

namespace taktovi {

SoundOutput::SoundOutput(SoundDeps deps) : deps_(std::move(deps)) {}

SoundOutput::~SoundOutput() {
  PoistaDirectsound();
}

void SoundOutput::startUp() {
  MidiOutService& midi = deps_.midi;
  midi_kahva_ = 0;
  laitetiedot_ = {};
  HaeOletuslaite();
  midi.midiOutOpen(midi_kahva_, midilaite_);
  if (midi.midiOutGetDevCaps(midilaite_, laitetiedot_) == MMSYSERR_NOERROR)
    midilaitteen_nimi_ = laitetiedot_.szPname;
  midi.midiOutReset(midi_kahva_);
  valitse_soitin(0);
  midi.midiOutShortMsg(midi_kahva_, kProgramChange0Ch1);
  lataa_patchit();
  midi.midiOutSetVolume(midilaite_, kFullVolume);
  if (deps_.profile.volumeOnChannel1) midi.midiOutShortMsg(midi_kahva_, kVolumeFullCh1);
  midi.midiOutShortMsg(midi_kahva_, kVolumeFullCh0);
}

void SoundOutput::finishCreation() {
  midi_tila_ = true;
  soitintiedosto_ = "piano.wav";
  MaaritaKorkeudet();
}

void SoundOutput::HaeOletuslaite() {
  const uint32_t count = deps_.midi.midiOutGetNumDevs();
  for (uint32_t id = 0; id < count; ++id) {
    if (deps_.midi.midiOutGetDevCaps(id, laitetiedot_) == MMSYSERR_NOERROR &&
        laitetiedot_.wTechnology != MOD_MIDIPORT) {
      midilaite_ = id;
      return;
    }
  }
}

void SoundOutput::lataa_patchit() {
  patchit_.fill(0);
  for (int p : kCachedPatches) patchit_[p] = 1;
  deps_.midi.midiOutCachePatches(midi_kahva_, 0, patchit_.data(), MIDI_CACHE_BESTFIT);
}

void SoundOutput::valitse_soitin(int program) {
  deps_.midi.midiOutShortMsg(midi_kahva_, 0x007F00C0u + 256u * (static_cast<uint32_t>(program) & 0xFF));
}

void SoundOutput::MaaritaKorkeudet() {
  korkeudet_[7] = 1;
  korkeudet_[8] = 2;
  korkeudet_[9] = 0;
  const auto& levels = midi_tila_ ? kMidiPitches : kWavRates;
  std::copy(levels.begin(), levels.end(), korkeudet_.begin() + 1);
}

void SoundOutput::aloita_savel(int32_t arvo, int64_t atNs) {
  noteHanded(atNs);
  uint32_t message = 0x90;
  if (arvo > 2) message = kPitchedToneOn + 256u * (static_cast<uint32_t>(arvo) & 0xFF);
  if (arvo == 1) message = kStrongToneOn;
  if (arvo == 2) message = 0x003C3C90;
  if (arvo == 0) message = kRestNoteOff;
  if (midi_tila_) {
    deps_.midi.midiOutShortMsg(midi_kahva_, message, atNs);
    return;
  }
  if (!aanipuskuri_) return;  // WAV mode without a sample: silent
  if (arvo > 2) {
    aanipuskuri_->SetCurrentPosition(0, atNs);
    aanipuskuri_->SetFrequency(static_cast<uint32_t>(arvo), atNs);
    aanipuskuri_->SetVolume(-500, atNs);
  } else if (arvo == 1) {
    aanipuskuri_->SetCurrentPosition(0, atNs);
    aanipuskuri_->SetFrequency(kWavToneRate, atNs);
    aanipuskuri_->SetVolume(0, atNs);
  } else if (arvo == 2) {
    aanipuskuri_->SetCurrentPosition(0, atNs);
    aanipuskuri_->SetFrequency(kWavToneRate, atNs);
    aanipuskuri_->SetVolume(-800, atNs);
  } else if (arvo == 0) {
    aanipuskuri_->SetVolume(DSBVOLUME_MIN, atNs);
  }
}

// In WAV mode the tone fades out first (within a few milliseconds, one call to the mixer).
void SoundOutput::lopeta_savel(int64_t atNs) {
  noteHanded(atNs);
  if (!midi_tila_ && aanipuskuri_) aanipuskuri_->FadeOut(atNs);
  if (midi_tila_ || deps_.profile.allNotesOffInWavMode)
    deps_.midi.midiOutShortMsg(midi_kahva_, kAllNotesOff, atNs);
}

void SoundOutput::sulje_midi() {
  deps_.midi.midiOutClose(midi_kahva_);
}

void SoundOutput::selectInstrument(const Instrument& instrument) {
  soitintiedosto_ = instrument.file;
  if (midi_tila_) {
    beginChange();
    valitse_soitin(instrument.program);
  }
  if (!midi_tila_) LuoDirectsound();
}

void SoundOutput::soundTestPress() {
  if (midi_tila_) {
    deps_.midi.midiOutShortMsg(midi_kahva_, kSoundTestOn);
  } else if (aanipuskuri_) {
    aanipuskuri_->SetCurrentPosition(0);
    aanipuskuri_->SetVolume(-800);
  }
}

void SoundOutput::soundTestRelease() {
  if (midi_tila_) {
    deps_.midi.midiOutShortMsg(midi_kahva_, kAllNotesOff);
  } else if (aanipuskuri_) {
    aanipuskuri_->SetVolume(DSBVOLUME_MIN);
  }
}

std::vector<SoundOutput::Device> SoundOutput::listDevices() {
  MidiOutService& midi = deps_.midi;
  std::vector<Device> devices;
  const uint32_t count = midi.midiOutGetNumDevs();
  for (uint32_t id = 0; id < count; ++id) {
    if (midi.midiOutGetDevCaps(id, laitetiedot_) != MMSYSERR_NOERROR) continue;
    if (laitetiedot_.wTechnology == MOD_MIDIPORT) continue;
    devices.push_back({id, laitetiedot_.szPname});
  }
  if (midi.midiOutGetDevCaps(MIDI_MAPPER, laitetiedot_) == MMSYSERR_NOERROR) {
    devices.push_back({MIDI_MAPPER, laitetiedot_.szPname});
  }
  return devices;
}

bool SoundOutput::selectDevice(const Device& device) {
  MidiOutService& midi = deps_.midi;
  beginChange();
  midi.midiOutClose(midi_kahva_);
  midilaite_ = device.id;
  midilaitteen_nimi_ = device.name;
  const bool opened = midi.midiOutOpen(midi_kahva_, midilaite_) == MMSYSERR_NOERROR;
  midi.midiOutReset(midi_kahva_);
  midi.midiOutSetVolume(midilaite_, kFullVolume);
  return opened;
}

int64_t SoundOutput::heardLatencyNs() const {
  if (midi_tila_) return deps_.midi.heardLatencyNs(midi_kahva_);
  return aanipuskuri_ ? aanipuskuri_->heardLatencyNs() : 0;
}

bool SoundOutput::schedulesAhead() const {
  if (midi_tila_) return deps_.midi.schedulesAhead(midi_kahva_);
  return aanipuskuri_ && aanipuskuri_->schedulesAhead();
}

void SoundOutput::cancelScheduled() {
  deps_.midi.cancelScheduled(midi_kahva_);
  if (aanipuskuri_) aanipuskuri_->CancelScheduled();
  handedUntilNs_ = 0;
}

bool SoundOutput::beginChange() {
  ++changes_;
  if (handedUntilNs_ <= deps_.clock.nowNs()) return false;
  cancelScheduled();
  return true;
}

void SoundOutput::noteHanded(int64_t atNs) {
  if (atNs != kNow) handedUntilNs_ = std::max(handedUntilNs_, atNs);
}

bool SoundOutput::audible() const {
  if (midi_tila_) return deps_.midi.audible(midi_kahva_);
  return aanipuskuri_ && aanipuskuri_->audible();
}

void SoundOutput::midiMode() {
  beginChange();
  // Every WAV branch asks the mode, so no fade would reach a tone sounding now: silence it.
  if (aanipuskuri_) aanipuskuri_->SetVolume(DSBVOLUME_MIN);
  midi_tila_ = true;
  MaaritaKorkeudet();
}

}  // namespace taktovi
