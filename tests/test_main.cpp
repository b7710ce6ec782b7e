#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  // Qt widgets run on the offscreen platform and SDL on its dummy driver unless told otherwise.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
