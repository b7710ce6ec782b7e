#include "audio/system_midi_out.h"

#include <algorithm>
#include <cstring>

namespace taktovi {

namespace {
void copyName(MidiOutCaps& caps, const std::string& name) {
  std::memset(caps.szPname, 0, sizeof caps.szPname);
  std::memcpy(caps.szPname, name.data(), std::min(name.size(), sizeof caps.szPname - 1));
}
}  // namespace

SystemMidiOut::SystemMidiOut(AudioEngine& engine, std::unique_ptr<MidiPorts> ports)
    : engine_(engine), ports_(std::move(ports)) {
  listed_ = ports_->list();
}

uint32_t SystemMidiOut::midiOutGetNumDevs() {
  listed_ = ports_->list();
  return 1 + static_cast<uint32_t>(listed_.size());
}

uint32_t SystemMidiOut::midiOutGetDevCaps(uint32_t id, MidiOutCaps& caps) {
  if (isBuiltin(id)) {
    if (!engine_.synthAvailable()) return MMSYSERR_NODRIVER;
    copyName(caps, id == 0 ? kBuiltinSynthName : kMapperName);
    caps.wTechnology = id == 0 ? MOD_SWSYNTH : MOD_MAPPER;
    return MMSYSERR_NOERROR;
  }
  if (id > listed_.size()) return MMSYSERR_BADDEVICEID;
  copyName(caps, listed_[id - 1].name);
  caps.wTechnology = listed_[id - 1].technology;
  return MMSYSERR_NOERROR;
}

uint32_t SystemMidiOut::midiOutOpen(HMIDIOUT& handle, uint32_t id) {
  handle = 0;
  auto open = std::make_unique<Open>();
  if (isBuiltin(id)) {
    // Opened with or without an audio output: the engine keeps what it is told (programs,
    // controllers, volume) and plays it once an output comes.
    if (!engine_.synthAvailable()) return MMSYSERR_NODRIVER;
    open->builtin = true;
  } else if (id <= listed_.size()) {
    open->port = listed_[id - 1];
  } else {
    return MMSYSERR_BADDEVICEID;
  }
  open_.push_back(std::move(open));
  handle = static_cast<HMIDIOUT>(open_.size());
  return MMSYSERR_NOERROR;
}

const SystemMidiOut::Open* SystemMidiOut::find(HMIDIOUT h) const {
  if (h == 0 || h > open_.size()) return nullptr;
  return open_[h - 1].get();
}

uint32_t SystemMidiOut::midiOutReset(HMIDIOUT h) {
  const Open* o = find(h);
  if (o == nullptr) return MMSYSERR_INVALHANDLE;
  if (o->builtin) {
    engine_.synthReset();
    return MMSYSERR_NOERROR;
  }
  bool ok = true;
  for (uint32_t ch = 0; ch < 16; ++ch) {
    ok = ports_->send(o->port, 0xB0 | ch | 123u << 8) && ok;  // all notes off
    ok = ports_->send(o->port, 0xB0 | ch | 120u << 8) && ok;  // all sound off
  }
  return ok ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

uint32_t SystemMidiOut::shortMsg(HMIDIOUT h, uint32_t packed, int64_t atNs) {
  const Open* o = find(h);
  if (o == nullptr) return MMSYSERR_INVALHANDLE;
  if (o->builtin) {
    engine_.midi(packed & 0x00FFFFFF, atNs);
    return MMSYSERR_NOERROR;
  }
  return ports_->send(o->port, packed) ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

uint32_t SystemMidiOut::midiOutSetVolume(uint32_t id, uint32_t volume) {
  if (!isBuiltin(id)) return id <= listed_.size() ? MMSYSERR_NOTSUPPORTED : MMSYSERR_BADDEVICEID;
  const float left = static_cast<float>(volume & 0xFFFF) / 0xFFFF;
  const float right = static_cast<float>(volume >> 16) / 0xFFFF;
  engine_.synthVolume((left + right) / 2);
  return MMSYSERR_NOERROR;
}

uint32_t SystemMidiOut::midiOutCachePatches(HMIDIOUT h, uint32_t bank, const uint16_t* patches, uint32_t) {
  const Open* o = find(h);
  if (o == nullptr || patches == nullptr) return MMSYSERR_INVALHANDLE;
  if (!o->builtin) return MMSYSERR_NOTSUPPORTED;
  // Caching a patch = loading its preset and keeping it, on any channel. The program's plan
  // has loaded its own at start; others are loaded off the audio thread.
  if (bank > 16383) return MMSYSERR_ERROR;
  for (int p = 0; p < 128; ++p)
    if (patches[p] != 0) engine_.synthPreload(static_cast<int>(bank), p);
  return MMSYSERR_NOERROR;
}

int64_t SystemMidiOut::heardLatencyNs(HMIDIOUT h) const {
  const Open* o = find(h);
  return o != nullptr && o->builtin ? engine_.heardLatencyNs() : 0;
}

bool SystemMidiOut::audible(HMIDIOUT h) const {
  const Open* o = find(h);
  if (o == nullptr || !o->builtin) return o != nullptr;  // of a port nothing more is known
  const AudioReport r = engine_.report();
  return r.output && r.soundfont == AudioReport::Soundfont::Usable && r.synthLoaded;
}

bool SystemMidiOut::schedulesAhead(HMIDIOUT h) const {
  const Open* o = find(h);
  return o != nullptr && o->builtin;
}

void SystemMidiOut::cancelScheduled(HMIDIOUT h) {
  if (schedulesAhead(h)) engine_.cancelPlanned(AudioCommand::kCancelSynth);
}

uint32_t SystemMidiOut::midiOutClose(HMIDIOUT h) {
  if (find(h) == nullptr) return MMSYSERR_INVALHANDLE;
  cancelScheduled(h);  // nothing handed over on a closed device plays later
  open_[h - 1].reset();
  return MMSYSERR_NOERROR;
}

}  // namespace taktovi
