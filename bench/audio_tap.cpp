// Records a raw stream from standard input (parec's output) into a file, and beside it the
// steady-clock time at which each piece arrived, so the recording can be put on the clock
// the player's calls are logged on.
//   parec ... --raw | audio_tap OUT.raw OUT.times FRAME_BYTES
// OUT.times: one line per read, "frames-so-far arrival-ns".
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: audio_tap OUT.raw OUT.times FRAME_BYTES\n");
    return 2;
  }
  FILE* raw = std::fopen(argv[1], "wb");
  FILE* times = std::fopen(argv[2], "w");
  const long frameBytes = std::atol(argv[3]);
  if (raw == nullptr || times == nullptr || frameBytes <= 0) return 2;
  static char buffer[1 << 16];
  long long bytes = 0;
  for (;;) {
    const ssize_t n = read(0, buffer, sizeof buffer);
    if (n <= 0) break;
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::fwrite(buffer, 1, static_cast<size_t>(n), raw);
    bytes += n;
    std::fprintf(times, "%lld %lld\n", bytes / frameBytes,
                 static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
  }
  std::fclose(raw);
  std::fclose(times);
  return 0;
}
