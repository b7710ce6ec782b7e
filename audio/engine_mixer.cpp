#include "audio/engine_mixer.h"

#include "platform/little_endian.h"

#include <cmath>
#include <vector>

namespace taktovi {

namespace {

float gainOf(int32_t hundredthsDb) {
  return hundredthsDb <= DSBVOLUME_MIN ? 0.0f : static_cast<float>(std::pow(10.0, hundredthsDb / 2000.0));
}

class EngineBuffer final : public SoundBuffer {
 public:
  EngineBuffer(AudioEngine& engine, uint32_t bytes, uint16_t channels, uint16_t bits, uint32_t rate)
      : engine_(engine), bytes_(bytes), channels_(channels), bits_(bits), rate_(rate) {}
  ~EngineBuffer() override { engine_.retireSample(published_); }

  HRESULT Lock(uint32_t, uint32_t, void** r1, uint32_t* n1, void** r2, uint32_t* n2,
               uint32_t flags) override {
    if (r1 == nullptr || n1 == nullptr || (flags & DSBLOCK_ENTIREBUFFER) == 0) return DSERR_INVALIDPARAM;
    if (locked_) return DSERR_INVALIDCALL;
    if (data_.size() != bytes_) data_.assign(bytes_, bits_ == 8 ? 0x80 : 0);
    locked_ = true;
    *r1 = data_.data();
    *n1 = bytes_;
    if (r2 != nullptr) *r2 = nullptr;
    if (n2 != nullptr) *n2 = 0;
    return DS_OK;
  }

  HRESULT Unlock(void* r1, uint32_t n1, void*, uint32_t) override {
    if (!locked_ || r1 != data_.data() || n1 > bytes_) return DSERR_INVALIDPARAM;
    locked_ = false;
    auto sample = std::make_unique<SampleBuffer>();
    sample->channels = channels_;
    const uint32_t frameBytes = channels_ * bits_ / 8u;
    sample->frames = bytes_ / frameBytes;
    sample->samples.resize(static_cast<size_t>(sample->frames) * channels_);
    for (size_t i = 0; i < sample->samples.size(); ++i) {
      sample->samples[i] =
          bits_ == 8 ? (data_[i] - 128) / 128.0f : static_cast<int16_t>(le16(&data_[2 * i])) / 32768.0f;
    }
    const SampleBuffer* old = published_;
    published_ = engine_.publishSample(std::move(sample));
    engine_.retireSample(old);
    if (published_ != nullptr) {
      engine_.sampleRate(rate_);
      engine_.sampleGain(gainOf(volume_));
      if (playing_) engine_.samplePlay(looping_);
    }
    return DS_OK;
  }

  HRESULT Play(uint32_t, uint32_t, uint32_t flags) override {
    playing_ = true;
    looping_ = (flags & DSBPLAY_LOOPING) != 0;
    if (active()) engine_.samplePlay(looping_);
    return DS_OK;
  }

  HRESULT GetVolume(int32_t* volume) override {
    if (volume == nullptr) return DSERR_INVALIDPARAM;
    *volume = volume_;
    return DS_OK;
  }

  int64_t heardLatencyNs() const override { return engine_.heardLatencyNs(); }
  bool schedulesAhead() const override { return true; }
  void CancelScheduled() override {
    if (active()) engine_.cancelPlanned(AudioCommand::kCancelSample);
  }
  bool audible() const override { return active() && engine_.report().output; }

 protected:
  HRESULT setCurrentPosition(uint32_t bytePosition, int64_t atNs) override {
    if (bytePosition >= bytes_) return DSERR_INVALIDPARAM;
    if (active()) engine_.samplePosition(bytePosition / (channels_ * bits_ / 8u), atNs);
    return DS_OK;
  }

  HRESULT setFrequency(uint32_t hz, int64_t atNs) override {
    if (hz < DSBFREQUENCY_MIN || hz > DSBFREQUENCY_MAX) return DSERR_INVALIDPARAM;
    rate_ = hz;
    if (active()) engine_.sampleRate(hz, atNs);
    return DS_OK;
  }

  HRESULT setVolume(int32_t volume, int64_t atNs) override {
    if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
    volume_ = volume;
    if (active()) engine_.sampleGain(gainOf(volume), atNs);
    return DS_OK;
  }

  HRESULT fadeOut(int64_t atNs) override {
    volume_ = DSBVOLUME_MIN;
    if (active()) engine_.sampleFade(atNs);
    return DS_OK;
  }

 private:
  // Only the buffer the engine plays now sends it commands.
  bool active() const { return published_ != nullptr && engine_.currentSample() == published_; }

  AudioEngine& engine_;
  uint32_t bytes_;
  uint16_t channels_;
  uint16_t bits_;
  uint32_t rate_;
  int32_t volume_ = DSBVOLUME_MAX;
  bool locked_ = false;
  bool playing_ = false;
  bool looping_ = false;
  std::vector<uint8_t> data_;
  const SampleBuffer* published_ = nullptr;
};

class EngineMixer final : public SoundMixer {
 public:
  explicit EngineMixer(AudioEngine& engine) : engine_(engine) {}

  HRESULT SetCooperativeLevel(void*, uint32_t level) override {
    return level >= 1 && level <= 3 ? DS_OK : DSERR_INVALIDPARAM;
  }

  HRESULT CreateSoundBuffer(const DSBUFFERDESC& d, std::unique_ptr<SoundBuffer>& out) override {
    out.reset();
    if (d.dwSize != 20 || d.lpwfxFormat == nullptr) return DSERR_INVALIDPARAM;
    const uint8_t* f = d.lpwfxFormat;
    const uint16_t tag = le16(f), channels = le16(f + 2), align = le16(f + 12), bits = le16(f + 14);
    const uint32_t rate = le32(f + 4);
    if (tag != 1 || (channels != 1 && channels != 2) || (bits != 8 && bits != 16) ||
        align != channels * bits / 8 || rate < DSBFREQUENCY_MIN || rate > DSBFREQUENCY_MAX)
      return DSERR_BADFORMAT;
    if (d.dwBufferBytes < align) return DSERR_INVALIDPARAM;
    if (d.dwBufferBytes > EngineMixerFactory::kMaxBufferBytes) return DSERR_OUTOFMEMORY;
    out = std::make_unique<EngineBuffer>(engine_, d.dwBufferBytes, channels, bits, rate);
    return DS_OK;
  }

 private:
  AudioEngine& engine_;
};

}  // namespace

HRESULT EngineMixerFactory::DirectSoundCreate(std::unique_ptr<SoundMixer>& mixer) {
  mixer.reset();
  if (engine_ == nullptr) return DSERR_NODRIVER;
  mixer = std::make_unique<EngineMixer>(*engine_);
  return DS_OK;
}

}  // namespace taktovi
