#pragma once
// The mixer on the audio engine: one buffer plays at a time, in the engine's callback.

#include "audio/audio_engine.h"
#include "platform/mixer.h"

namespace taktovi {

class EngineMixerFactory final : public MixerFactory {
 public:
  // Largest buffer accepted (bytes); a larger description gets DSERR_OUTOFMEMORY, not an allocation.
  static constexpr uint32_t kMaxBufferBytes = 64u << 20;

  explicit EngineMixerFactory(AudioEngine* engine) : engine_(engine) {}
  HRESULT DirectSoundCreate(std::unique_ptr<SoundMixer>& mixer) override;

 private:
  AudioEngine* engine_;
};

}  // namespace taktovi
