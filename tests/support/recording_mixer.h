#pragma once
// A mixer that records its calls in one log and can be told to fail a given operation.

#include <map>
#include <string>
#include <vector>

#include "platform/mixer.h"

namespace taktovi::test {

struct MixerLog {
  std::vector<std::string>
      calls;  // "create", "coop 1", "buffer 1234 a2", "lock", "unlock 1234", "play 1",
              // "pos 0", "freq 34600", "vol -500", "fade", "getvol", "release buffer", ...
  std::map<std::string, HRESULT> failures;  // operation name -> result
  int32_t volume = 0;
  std::vector<uint8_t> lastData;
  void add(std::string s) { calls.push_back(std::move(s)); }
  HRESULT result(const std::string& op) const {
    auto it = failures.find(op);
    return it == failures.end() ? DS_OK : it->second;
  }
  size_t count(const std::string& prefix) const {
    size_t n = 0;
    for (const auto& c : calls) n += c.rfind(prefix, 0) == 0;
    return n;
  }
};

class RecordingBuffer final : public SoundBuffer {
 public:
  RecordingBuffer(MixerLog& log, uint32_t bytes) : log_(log), data_(bytes) {}
  ~RecordingBuffer() override { log_.add("release buffer"); }
  HRESULT Lock(uint32_t, uint32_t, void** r1, uint32_t* n1, void**, uint32_t*, uint32_t flags) override {
    log_.add("lock " + std::to_string(flags));
    if (HRESULT r = log_.result("lock")) return r;
    *r1 = data_.data();
    *n1 = static_cast<uint32_t>(data_.size());
    return DS_OK;
  }
  HRESULT Unlock(void*, uint32_t n1, void*, uint32_t) override {
    log_.add("unlock " + std::to_string(n1));
    log_.lastData = data_;
    return log_.result("unlock");
  }
  HRESULT Play(uint32_t, uint32_t, uint32_t flags) override {
    log_.add("play " + std::to_string(flags));
    return DS_OK;
  }
  HRESULT GetVolume(int32_t* v) override {
    log_.add("getvol");
    *v = log_.volume;
    return DS_OK;
  }
  bool schedulesAhead() const override { return true; }
  void CancelScheduled() override { log_.add("cancel"); }

 protected:
  HRESULT setCurrentPosition(uint32_t p, int64_t) override {
    log_.add("pos " + std::to_string(p));
    return DS_OK;
  }
  HRESULT setFrequency(uint32_t hz, int64_t) override {
    log_.add("freq " + std::to_string(hz));
    return hz < DSBFREQUENCY_MIN || hz > DSBFREQUENCY_MAX ? DSERR_INVALIDPARAM : DS_OK;
  }
  HRESULT setVolume(int32_t v, int64_t) override {
    log_.add("vol " + std::to_string(v));
    if (v < DSBVOLUME_MIN || v > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
    log_.volume = v;
    return DS_OK;
  }
  HRESULT fadeOut(int64_t) override {
    log_.add("fade");
    log_.volume = DSBVOLUME_MIN;
    return DS_OK;
  }

 private:
  MixerLog& log_;
  std::vector<uint8_t> data_;
};

class RecordingMixerObject final : public SoundMixer {
 public:
  explicit RecordingMixerObject(MixerLog& log) : log_(log) {}
  ~RecordingMixerObject() override { log_.add("release mixer"); }
  HRESULT SetCooperativeLevel(void*, uint32_t level) override {
    log_.add("coop " + std::to_string(level));
    return DS_OK;
  }
  HRESULT CreateSoundBuffer(const DSBUFFERDESC& d, std::unique_ptr<SoundBuffer>& out) override {
    char flags[16];
    std::snprintf(flags, sizeof flags, "%x", d.dwFlags);
    log_.add("buffer " + std::to_string(d.dwBufferBytes) + " " + flags);
    if (HRESULT r = log_.result("buffer")) return r;
    out = std::make_unique<RecordingBuffer>(log_, d.dwBufferBytes);
    return DS_OK;
  }

 private:
  MixerLog& log_;
};

class RecordingMixer final : public MixerFactory {
 public:
  MixerLog log;
  HRESULT DirectSoundCreate(std::unique_ptr<SoundMixer>& m) override {
    log.add("create");
    if (HRESULT r = log.result("create")) return r;
    m = std::make_unique<RecordingMixerObject>(log);
    return DS_OK;
  }
};

}  // namespace taktovi::test
