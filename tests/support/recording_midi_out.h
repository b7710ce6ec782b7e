#pragma once
// A MIDI output service that records every call (and the clock time of each message) and
// answers from a configurable device list.

#include <cstring>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/midi_out.h"

namespace taktovi::test {

struct FakeDevice {
  std::string name;
  uint16_t technology = MOD_SWSYNTH;
  bool capsOk = true;
  bool openOk = true;
};

struct MidiCall {
  std::string op;  // "open", "close", "reset", "msg", "volume", "cache", "caps", "count"
  uint32_t a = 0;  // device id, handle or packed word
  uint32_t b = 0;
  double timeMs = 0;  // when the call was made
  double atMs = 0;    // when the message is meant for: its planned time, or the call's
  bool operator==(const MidiCall& o) const { return op == o.op && a == o.a && b == o.b; }
};

class RecordingMidiOut final : public MidiOutService {
 public:
  explicit RecordingMidiOut(std::vector<FakeDevice> devices = {{"Synth A"}}, const Clock* clock = nullptr)
      : devices(std::move(devices)), clock_(clock) {}

  std::vector<FakeDevice> devices;
  bool mapperAnswers = true;
  std::vector<MidiCall> calls;
  std::vector<uint16_t> cachedPatches;

  uint32_t midiOutGetNumDevs() override {
    log("count", 0);
    return static_cast<uint32_t>(devices.size());
  }
  uint32_t midiOutGetDevCaps(uint32_t id, MidiOutCaps& caps) override {
    log("caps", id);
    if (id == MIDI_MAPPER) {
      if (!mapperAnswers) return MMSYSERR_NODRIVER;
      fill(caps, "Fake Mapper", MOD_MAPPER);
      return 0;
    }
    if (id >= devices.size()) return MMSYSERR_BADDEVICEID;
    if (!devices[id].capsOk) return MMSYSERR_NODRIVER;
    fill(caps, devices[id].name, devices[id].technology);
    return 0;
  }
  uint32_t midiOutOpen(HMIDIOUT& h, uint32_t id) override {
    log("open", id);
    const bool ok = id == MIDI_MAPPER ? mapperAnswers : id < devices.size() && devices[id].openOk;
    h = ok ? 100 + id : 0;
    return ok ? 0 : MMSYSERR_BADDEVICEID;
  }
  uint32_t midiOutReset(HMIDIOUT h) override { return logHandle("reset", h); }
  uint32_t midiOutSetVolume(uint32_t id, uint32_t v) override {
    log("volume", id, v);
    return 0;
  }
  uint32_t midiOutCachePatches(HMIDIOUT h, uint32_t bank, const uint16_t* p, uint32_t flags) override {
    log("cache", bank, flags);
    cachedPatches.assign(p, p + 128);
    return h == 0 ? 5 : 0;
  }
  uint32_t midiOutClose(HMIDIOUT h) override { return logHandle("close", h); }
  int64_t heardLatencyNs(HMIDIOUT) const override { return latencyNs; }
  bool schedulesAhead(HMIDIOUT h) const override { return schedules && h != 0; }
  // Messages handed over for after now are taken back: they leave the record, and the cancel
  // stays in it.
  void cancelScheduled(HMIDIOUT h) override {
    const double now = clock_ != nullptr ? static_cast<double>(clock_->nowNs()) / 1e6 : 0;
    std::erase_if(calls, [&](const MidiCall& c) { return c.op == "msg" && c.atMs > now; });
    log("cancel", h);
  }
  int64_t latencyNs = 0;  // how late the fake's tones are heard
  bool schedules = true;  // takes a melody ahead, as the built-in synthesizer does (false: a port)

  // The packed words sent, in order.
  std::vector<uint32_t> messages() const {
    std::vector<uint32_t> m;
    for (const auto& c : calls)
      if (c.op == "msg") m.push_back(c.b);
    return m;
  }
  // Calls other than device queries.
  std::vector<MidiCall> actions() const {
    std::vector<MidiCall> out;
    for (const auto& c : calls)
      if (c.op != "caps" && c.op != "count") out.push_back(c);
    return out;
  }

 protected:
  uint32_t shortMsg(HMIDIOUT h, uint32_t w, int64_t atNs) override {
    log("msg", h, w, atNs);
    return h == 0 ? 5 : 0;
  }

 private:
  static void fill(MidiOutCaps& caps, const std::string& name, uint16_t tech) {
    std::memset(caps.szPname, 0, sizeof caps.szPname);
    std::strncpy(caps.szPname, name.c_str(), sizeof caps.szPname - 1);
    caps.wTechnology = tech;
  }
  void log(const char* op, uint32_t a, uint32_t b = 0, int64_t atNs = kNow) {
    const double now = clock_ != nullptr ? static_cast<double>(clock_->nowNs()) / 1e6 : 0;
    calls.push_back({op, a, b, now, atNs == kNow ? now : static_cast<double>(atNs) / 1e6});
  }
  uint32_t logHandle(const char* op, HMIDIOUT h) {
    log(op, h);
    return h == 0 ? 5 : 0;
  }
  const Clock* clock_;
};

}  // namespace taktovi::test
