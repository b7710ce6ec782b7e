// WAV mode: the sample of the current instrument in one looping mixer buffer.
#include <filesystem>
#include <limits>

#include "sound/edirectx.h"
#include "sound/sound_output.h"
#include "wave/ds_wave_files.h"

namespace taktovi {

namespace {

// What the reader holds between a successful WavOpen and WavRelease.
struct OpenSample {
  WaveHandle handle;
  FormatRecord format;
  ChunkInfo riff;
  ChunkInfo data;
  ~OpenSample() { WavRelease(handle, format); }
};

// Which sample could not be used and why, said before the error's own text.
std::string sampleProblem(const std::string& path, const char* why) {
  return "DIE KLANGDATEI \"" + path + "\" KANN NICHT BENUTZT WERDEN: " + why;
}

const char* whyNotOpened(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) return "SIE WURDE NICHT GEFUNDEN.";
  if (std::filesystem::is_regular_file(status) &&
      std::filesystem::file_size(path, ec) > std::numeric_limits<uint32_t>::max())
    return "SIE IST ZU GROSS.";
  return "SIE KANN NICHT GELESEN WERDEN.";
}

const char* whyNoBuffer(HRESULT r) {
  if (r == DSERR_BADFORMAT) return "IHR FORMAT WIRD NICHT UNTERSTÜTZT.";
  if (r == DSERR_OUTOFMEMORY) return "SIE IST ZU GROSS.";
  if (r == DSERR_INVALIDPARAM) return "SIE ENTHÄLT KEINE KLANGDATEN.";
  return "";
}

constexpr const char* kNotWave = "SIE IST KEINE WAVE-DATEI.";

}  // namespace

void SoundOutput::PoistaDirectsound() {
  aanipuskuri_.reset();
  Directsound_.reset();
}

void SoundOutput::LuoDirectsound() {
  // In the middle of a melody a MIDI tone still sounding ends: WAV mode's tone ends would not.
  if (beginChange() && midi_tila_) deps_.midi.midiOutShortMsg(midi_kahva_, kAllNotesOff);
  PoistaDirectsound();
  const HRESULT created = deps_.mixers.DirectSoundCreate(Directsound_);
  if (!Directsound_) throw EDirectX(created != DS_OK ? created : DSERR_NODRIVER);
  Directsound_->SetCooperativeLevel(deps_.window, DSSCL_NORMAL);

  const std::string path = deps_.executableDir + soitintiedosto_;
  OpenSample s;  // released on every way out
  const uint32_t opened = WavOpen(path.c_str(), s.handle, s.format, s.riff);
  uint32_t found = 0;
  try {
    found = WavStartData(s.handle, s.data, s.riff);
  } catch (const AssertionError&) {  // no file is open
    throw AssertionError(sampleProblem(path, opened == WAV_ERR_CANNOT_OPEN ? whyNotOpened(path) : kNotWave));
  }
  // A file without a data chunk, or whose data chunk claims more bytes than the file holds,
  // is refused like a file that is no WAVE file at all.
  if (found != 0 || s.data.cksize > s.handle->size() - static_cast<int64_t>(s.data.dwDataOffset))
    throw AssertionError(sampleProblem(path, kNotWave));

  DSBUFFERDESC desc{};
  desc.dwSize = 20;
  desc.dwFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLVOLUME;
  desc.dwBufferBytes = s.data.cksize;
  desc.lpwfxFormat = s.format.get();
  if (HRESULT r = Directsound_->CreateSoundBuffer(desc, aanipuskuri_); r != DS_OK) {
    aanipuskuri_.reset();
    const char* why = whyNoBuffer(r);
    throw EDirectX(r, *why != '\0' ? sampleProblem(path, why) : std::string());
  }
  void* region = nullptr;
  uint32_t size = 0;
  if (HRESULT r = aanipuskuri_->Lock(0, 0, &region, &size, nullptr, nullptr, DSBLOCK_ENTIREBUFFER);
      r != DS_OK) {
    aanipuskuri_.reset();  // a buffer with no sample in it would only play silence
    throw EDirectX(r);
  }
  uint32_t copied = 0;
  WavRead(s.handle, size, static_cast<uint8_t*>(region), s.data, copied);
  if (HRESULT r = aanipuskuri_->Unlock(region, size, nullptr, 0); r != DS_OK) {
    aanipuskuri_.reset();
    throw EDirectX(r);
  }
  WavRelease(s.handle, s.format);
  aanipuskuri_->SetVolume(DSBVOLUME_MIN);
  aanipuskuri_->Play(0, 0, DSBPLAY_LOOPING);
  midi_tila_ = false;
  MaaritaKorkeudet();
}

}  // namespace taktovi
