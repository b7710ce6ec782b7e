#pragma once
// What PipeWire's graph declares downstream of the program's own playback stream: the latency
// of the sink it plays to and of that sink's device (an ALSA device's buffer, a Bluetooth
// codec and its transport, a delay set on the node), as the Latency params of the stream's
// output ports carry it. Read through PipeWire's own interface, on a connection and a thread
// of their own; its PulseAudio service reports every latency as 0.
//
// Connecting to PipeWire's socket can start a server through socket activation: make one only
// once a sound server is known to be PipeWire.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace taktovi {

// A port's downstream latency (PipeWire's Latency param, input direction, its lower bound): in
// the graph's quanta, frames at the graph's rate, and nanoseconds.
struct DeclaredLatency {
  double quanta = 0;
  int64_t frames = 0;
  int64_t ns = 0;
};
// In microseconds at a quantum of `quantumUs` and `rate` frames a second.
int64_t declaredLatencyUs(const DeclaredLatency& d, int64_t quantumUs, int rate);

class PipewireLatency {
 public:
  // Looks for the playback stream node named `streamName` (its media.name) of process `pid`
  // (the nodes of SDL's native PipeWire driver carry no process id) and follows what its
  // output ports declare.
  PipewireLatency(const std::string& streamName, const std::string& pid);
  ~PipewireLatency();
  PipewireLatency(const PipewireLatency&) = delete;
  PipewireLatency& operator=(const PipewireLatency&) = delete;

  // The connection has failed or was lost (no PipeWire socket, the server ended).
  bool lost() const;
  // The newest such stream's downstream latency, as its output ports declare it; none while
  // the stream or its ports' params are not known. Any thread.
  std::optional<DeclaredLatency> downstream() const;

  struct Graph;  // libpipewire's side, in the .cpp

 private:
  std::unique_ptr<Graph> graph_;
};

}  // namespace taktovi
