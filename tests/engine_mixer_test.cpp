#include <gtest/gtest.h>

#include <memory>

#include "audio/engine_mixer.h"
#include "support/offline_run.h"
#include "support/wav_builder.h"

using namespace taktovi;
using namespace taktovi::test;

TEST(EngineMixer, RefusesHugeBuffersAndOutOfRangeSettings) {
  TestClock clock;
  AudioEngine engine(clock, offline({}));
  EngineMixerFactory factory(&engine);
  std::unique_ptr<SoundMixer> mixer;
  ASSERT_EQ(factory.DirectSoundCreate(mixer), DS_OK);
  const Bytes fmt = fmtPayload(1, 1, 44100, 16, 18);
  DSBUFFERDESC d{20, 0xA2, 0xFFFFFFF0u, 0, fmt.data()};
  std::unique_ptr<SoundBuffer> b;
  EXPECT_EQ(mixer->CreateSoundBuffer(d, b), DSERR_OUTOFMEMORY);
  EXPECT_FALSE(b);
  d.dwBufferBytes = 1000;
  ASSERT_EQ(mixer->CreateSoundBuffer(d, b), DS_OK);
  EXPECT_EQ(b->SetFrequency(99), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->SetFrequency(200001), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->SetFrequency(100), DS_OK);
  EXPECT_EQ(b->SetVolume(-500), DS_OK);
  EXPECT_EQ(b->SetVolume(-10001), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->SetVolume(1), DSERR_INVALIDPARAM);
  int32_t v = 0;
  EXPECT_EQ(b->GetVolume(&v), DS_OK);
  EXPECT_EQ(v, -500);
  EngineMixerFactory none(nullptr);
  std::unique_ptr<SoundMixer> no;
  EXPECT_EQ(none.DirectSoundCreate(no), DSERR_NODRIVER);
  EXPECT_FALSE(no);
}
