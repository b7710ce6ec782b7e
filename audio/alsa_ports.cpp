#include <alsa/asoundlib.h>

#include <filesystem>

#include "audio/midi_ports.h"
#include "platform/midi_out.h"

namespace taktovi {

uint16_t technologyForPortType(unsigned type) {
  constexpr unsigned kSynth = SND_SEQ_PORT_TYPE_SYNTH | SND_SEQ_PORT_TYPE_SYNTHESIZER |
                              SND_SEQ_PORT_TYPE_SAMPLE | SND_SEQ_PORT_TYPE_DIRECT_SAMPLE;
  if ((type & kSynth) == 0) return MOD_MIDIPORT;
  return (type & SND_SEQ_PORT_TYPE_SOFTWARE) != 0 ? MOD_SWSYNTH : MOD_SYNTH;
}

namespace {

class NoPorts final : public MidiPorts {
 public:
  std::vector<MidiPort> list() override { return {}; }
  bool send(const MidiPort&, uint32_t) override { return false; }
};

class AlsaPorts final : public MidiPorts {
 public:
  explicit AlsaPorts(snd_seq_t* seq) : seq_(seq) {
    self_ = snd_seq_client_id(seq_);
    source_ = snd_seq_create_simple_port(seq_, "TAKTOVI", SND_SEQ_PORT_CAP_READ,
                                         SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    snd_midi_event_new(16, &encoder_);
  }
  ~AlsaPorts() override {
    if (encoder_ != nullptr) snd_midi_event_free(encoder_);
    snd_seq_close(seq_);
  }

  std::vector<MidiPort> list() override {
    std::vector<MidiPort> out;
    snd_seq_client_info_t* client;
    snd_seq_port_info_t* port;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(seq_, client) >= 0) {
      const int c = snd_seq_client_info_get_client(client);
      if (c == self_ || c == SND_SEQ_CLIENT_SYSTEM) continue;
      snd_seq_port_info_set_client(port, c);
      snd_seq_port_info_set_port(port, -1);
      while (snd_seq_query_next_port(seq_, port) >= 0) {
        const unsigned caps = snd_seq_port_info_get_capability(port);
        constexpr unsigned kWritable = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
        if ((caps & kWritable) != kWritable || (caps & SND_SEQ_PORT_CAP_NO_EXPORT) != 0) continue;
        out.push_back({c, snd_seq_port_info_get_port(port), snd_seq_port_info_get_name(port),
                       technologyForPortType(snd_seq_port_info_get_type(port))});
      }
    }
    return out;
  }

  bool send(const MidiPort& p, uint32_t packed) override {
    if (encoder_ == nullptr || source_ < 0) return false;
    const unsigned char bytes[3] = {static_cast<unsigned char>(packed),
                                    static_cast<unsigned char>(packed >> 8),
                                    static_cast<unsigned char>(packed >> 16)};
    const int len = (bytes[0] & 0xF0) == 0xC0 || (bytes[0] & 0xF0) == 0xD0 ? 2 : 3;
    snd_seq_event_t ev;
    snd_seq_ev_clear(&ev);
    snd_midi_event_reset_encode(encoder_);
    if (snd_midi_event_encode(encoder_, bytes, len, &ev) <= 0 || ev.type == SND_SEQ_EVENT_NONE) return false;
    snd_seq_ev_set_source(&ev, source_);
    snd_seq_ev_set_dest(&ev, p.client, p.port);
    snd_seq_ev_set_direct(&ev);
    return snd_seq_event_output_direct(seq_, &ev) >= 0;
  }

 private:
  snd_seq_t* seq_;
  int self_ = -1;
  int source_ = -1;
  snd_midi_event_t* encoder_ = nullptr;
};

void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

std::unique_ptr<MidiPorts> openAlsaPorts() {
  std::error_code ec;
  if (!std::filesystem::exists("/dev/snd/seq", ec)) return std::make_unique<NoPorts>();
  snd_lib_error_set_handler(quietAlsa);
  snd_seq_t* seq = nullptr;
  if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0)
    return std::make_unique<NoPorts>();
  snd_seq_set_client_name(seq, "TAKTOVI");
  return std::make_unique<AlsaPorts>(seq);
}

}  // namespace taktovi
