#pragma once
// The MIDI output service of this system. Device 0 is the built-in synthesizer (software
// synthesizer); devices 1 and up are the sequencer's writable ports, as listed at the last
// device count; MIDI_MAPPER (the default routing) is the built-in synthesizer as well.

#include <memory>
#include <vector>

#include "audio/audio_engine.h"
#include "audio/midi_ports.h"
#include "platform/midi_out.h"

namespace taktovi {

inline constexpr const char* kBuiltinSynthName = "TAKTOVI Synthesizer";
inline constexpr const char* kMapperName = "MIDI-Mapper (Synthesizer)";

class SystemMidiOut final : public MidiOutService {
 public:
  SystemMidiOut(AudioEngine& engine, std::unique_ptr<MidiPorts> ports);

  uint32_t midiOutGetNumDevs() override;
  uint32_t midiOutGetDevCaps(uint32_t deviceId, MidiOutCaps& caps) override;
  uint32_t midiOutOpen(HMIDIOUT& handle, uint32_t deviceId) override;
  uint32_t midiOutReset(HMIDIOUT handle) override;
  uint32_t midiOutSetVolume(uint32_t deviceId, uint32_t volume) override;
  uint32_t midiOutCachePatches(HMIDIOUT handle, uint32_t bank, const uint16_t* patches,
                               uint32_t flags) override;
  uint32_t midiOutClose(HMIDIOUT handle) override;
  // The built-in synthesizer schedules: it plays a message at its time, heard the engine's
  // latency after it. A sequencer port sends it at once, and nothing is known of it beyond.
  int64_t heardLatencyNs(HMIDIOUT handle) const override;
  bool schedulesAhead(HMIDIOUT handle) const override;
  void cancelScheduled(HMIDIOUT handle) override;
  // The built-in synthesizer sounds once an output plays and its soundfont has loaded.
  bool audible(HMIDIOUT handle) const override;

 protected:
  uint32_t shortMsg(HMIDIOUT handle, uint32_t packed, int64_t atNs) override;

 private:
  struct Open {
    bool builtin = false;
    MidiPort port;
  };
  const Open* find(HMIDIOUT h) const;
  bool isBuiltin(uint32_t id) const { return id == 0 || id == MIDI_MAPPER; }

  AudioEngine& engine_;
  std::unique_ptr<MidiPorts> ports_;
  std::vector<MidiPort> listed_;
  std::vector<std::unique_ptr<Open>> open_;  // handle = index + 1; closed slots are null
};

}  // namespace taktovi
