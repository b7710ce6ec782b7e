#include <gtest/gtest.h>

#include <vector>

#include "audio/pipewire_latency.h"
#include "audio/server_latency.h"

using namespace taktovi;

TEST(ServerLatency, TheTopOfTheStreamBufferPlusTheSinkAndItsDevice) {
  // PulseAudio: the buffer falls by a request (a quarter period) between two writes; one
  // reading caught in a stall does not count.
  std::vector<int64_t> buffer;
  for (int i = 0; i < 30; ++i) buffer.push_back(32'000 - (i % 4) * 2'667);
  buffer[17] = 120'000;
  EXPECT_EQ(pulseServerLatencyUs(buffer, 10'667), 32'000 + 10'667);
  EXPECT_EQ(pulseServerLatencyUs({}, 10'667), 0);
  // The sink: its configured latency and its port's offset (a headset's 150 ms); an offset set
  // below 0 takes the sink no lower than 0, as the server's own figure; with nothing configured,
  // the server's current figure, which holds the offset already.
  EXPECT_EQ(pulseSinkLatencyUs(10'667, 4'000, 150'000), 160'667);
  EXPECT_EQ(pulseSinkLatencyUs(10'667, 4'000, -50'000), 0);
  EXPECT_EQ(pulseSinkLatencyUs(0, 154'000, 150'000), 154'000);
  // PipeWire: target length, the quantum being filled, and what the sink declares, its device
  // included (one quantum of an ALSA device's buffer, 256 frames of headroom, a 150 ms delay);
  // a sink that declares nothing plays out one quantum. A native stream has no target length.
  const int64_t declared = declaredLatencyUs({1.0, 256, 150'000'000}, 10'667, 48000);
  EXPECT_EQ(declared, 10'667 + 5'333 + 150'000);
  EXPECT_EQ(pipewireServerLatencyUs(32'000, 10'667, declared), 32'000 + 10'667 + declared);
  EXPECT_EQ(pipewireServerLatencyUs(32'000, 10'667, 0), 32'000 + 2 * 10'667);
  EXPECT_EQ(pipewireServerLatencyUs(0, 10'667, 0), 2 * 10'667);
  EXPECT_EQ(pipewireServerLatencyUs(32'000, -1, declared), 0);
}
