#include "audio/sample_voice.h"

#include <cmath>

namespace taktovi {

void SampleVoice::publish(const SampleBuffer* b) {
  buf_ = b;
  pos_ = 0;
  playing_ = false;
}

const SampleBuffer* SampleVoice::retire() {
  const SampleBuffer* old = buf_;
  buf_ = nullptr;
  playing_ = false;
  return old;
}

void SampleVoice::play(bool looping) {
  playing_ = true;
  looping_ = looping;
}

void SampleVoice::setPosition(uint32_t frame) {
  if (buf_ == nullptr || buf_->frames == 0) return;
  pos_ = frame < buf_->frames ? frame : 0;
}

void SampleVoice::setGain(float target, double rampSeconds) {
  target_ = target;
  rampLeft_ = static_cast<int>(rampSeconds * deviceRate_);
  if (rampLeft_ < 1) rampLeft_ = 1;
  step_ = (target_ - gain_) / static_cast<float>(rampLeft_);
}

float SampleVoice::sampleAt(uint32_t i, int ch) const {
  if (i >= buf_->frames) {
    if (!looping_) return 0.0f;
    i -= buf_->frames;
  }
  return buf_->samples[static_cast<size_t>(i) * buf_->channels + (buf_->channels == 2 ? ch : 0)];
}

void SampleVoice::render(float* out, int frames) {
  if (buf_ == nullptr || buf_->frames == 0 || !playing_) return;
  const double inc = static_cast<double>(rate_) / deviceRate_;
  const double len = buf_->frames;
  for (int k = 0; k < frames; ++k) {
    if (rampLeft_ > 0) {
      gain_ += step_;
      if (--rampLeft_ == 0) gain_ = target_;
    }
    if (gain_ != 0.0f) {
      const auto i = static_cast<uint32_t>(pos_);
      const float frac = static_cast<float>(pos_ - i);
      for (int ch = 0; ch < 2; ++ch) {
        const float a = sampleAt(i, ch);
        const float b = sampleAt(i + 1, ch);
        out[2 * k + ch] += gain_ * (a + frac * (b - a));
      }
    }
    pos_ += inc;
    if (pos_ >= len) {
      if (!looping_) {
        playing_ = false;
        return;
      }
      pos_ = std::fmod(pos_, len);
    }
  }
}

}  // namespace taktovi
