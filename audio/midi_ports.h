#pragma once
// External MIDI output ports: the ALSA sequencer's writable ports.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace taktovi {

struct MidiPort {
  int client = 0;
  int port = 0;
  std::string name;
  uint16_t technology = 0;  // MOD_SYNTH / MOD_SWSYNTH for synthesizers, MOD_MIDIPORT otherwise
};

class MidiPorts {
 public:
  virtual ~MidiPorts() = default;
  virtual std::vector<MidiPort> list() = 0;
  // Sends one short message; false when the port is gone or the send failed.
  virtual bool send(const MidiPort& port, uint32_t packed) = 0;
};

// The technology a sequencer port of this type reports.
uint16_t technologyForPortType(unsigned alsaType);

// Opens the sequencer when /dev/snd/seq exists; without it there are simply no ports.
std::unique_ptr<MidiPorts> openAlsaPorts();

}  // namespace taktovi
