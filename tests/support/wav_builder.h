#pragma once
// Builds RIFF files byte by byte so tests can write exactly the shapes they need.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace taktovi::test {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(Bytes& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
inline void putId(Bytes& b, const char* id) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(id[i]));
}

// A chunk: id, size (the payload's unless given), payload, pad byte when odd.
inline Bytes chunk(const char* id, const Bytes& payload, int64_t declaredSize = -1) {
  Bytes b;
  putId(b, id);
  put32(b, declaredSize < 0 ? static_cast<uint32_t>(payload.size()) : static_cast<uint32_t>(declaredSize));
  b.insert(b.end(), payload.begin(), payload.end());
  if (payload.size() % 2 == 1) b.push_back(0);
  return b;
}

inline Bytes riff(const char* form, const std::vector<Bytes>& chunks, const char* id = "RIFF") {
  Bytes body;
  putId(body, form);
  for (const auto& c : chunks) body.insert(body.end(), c.begin(), c.end());
  return chunk(id, body);
}

// The payload of a "fmt " chunk; size 16 (plain PCM), 18 (with an extra-size field) or more.
inline Bytes fmtPayload(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, size_t size = 16,
                        uint16_t extraSize = 0, uint8_t extraFill = 0xAB) {
  Bytes b;
  const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
  put16(b, tag);
  put16(b, channels);
  put32(b, rate);
  put32(b, rate * align);
  put16(b, align);
  put16(b, bits);
  if (size >= 18) put16(b, extraSize);
  while (b.size() < size) b.push_back(extraFill);
  b.resize(size);
  return b;
}

// Mono 16-bit PCM samples.
inline Bytes pcm16(const std::vector<int16_t>& samples) {
  Bytes b;
  for (int16_t s : samples) put16(b, static_cast<uint16_t>(s));
  return b;
}

inline Bytes pcmWave(const Bytes& data, uint32_t rate = 44100, uint16_t channels = 1, uint16_t bits = 16) {
  return riff("WAVE", {chunk("fmt ", fmtPayload(1, channels, rate, bits)), chunk("data", data)});
}

// A temporary directory removed with the object.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "taktovi-test-XXXXXX").string();
    path_ = mkdtemp(tmpl.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string write(const std::string& name, const Bytes& bytes) const {
    const auto p = path_ / name;
    std::FILE* f = std::fopen(p.c_str(), "wb");
    if (f != nullptr) {
      if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }
    return p.string();
  }

 private:
  std::filesystem::path path_;
};

}  // namespace taktovi::test
