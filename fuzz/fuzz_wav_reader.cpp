// Runs the reader's four steps on arbitrary bytes written to a temporary file.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "wave/ds_wave_files.h"

using namespace taktovi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/fuzz_wav_" + std::to_string(getpid()) + ".wav";
  }();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  WaveHandle h;
  FormatRecord fmt;
  ChunkInfo riff, chunk;
  if (WavOpen(path.c_str(), h, fmt, riff) == 0) {
    (void)formatRecordSize(fmt.get());
    if (WavStartData(h, chunk, riff) == 0) {
      // Never more than a sane cap, whatever the header claims.
      std::vector<uint8_t> dst(std::min<uint32_t>(chunk.cksize, 1u << 20));
      uint32_t got = 0;
      WavRead(h, static_cast<uint32_t>(dst.size()), dst.data(), chunk, got);
      if (got > dst.size()) std::abort();
      WavRead(h, static_cast<uint32_t>(dst.size()), dst.data(), chunk, got);
    }
  }
  WavRelease(h, fmt);
  return 0;
}
