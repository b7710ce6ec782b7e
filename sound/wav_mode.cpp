// WAV mode: the sample of the current instrument in one looping mixer buffer.
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

}  // namespace

void SoundOutput::PoistaDirectsound() {
  aanipuskuri_.reset();
  Directsound_.reset();
}

void SoundOutput::LuoDirectsound() {
  PoistaDirectsound();
  const HRESULT created = deps_.mixers.DirectSoundCreate(Directsound_);
  if (!Directsound_) throw EDirectX(created != DS_OK ? created : DSERR_NODRIVER);
  Directsound_->SetCooperativeLevel(deps_.window, DSSCL_NORMAL);

  const std::string path = deps_.executableDir + soitintiedosto_;
  OpenSample s;  // released on every way out
  WavOpen(path.c_str(), s.handle, s.format, s.riff);
  // A file without a data chunk, or whose data chunk claims more bytes than the file holds,
  // is refused like a file that is no WAVE file at all.
  if (WavStartData(s.handle, s.data, s.riff) != 0 ||
      s.data.cksize > s.handle->size() - static_cast<int64_t>(s.data.dwDataOffset))
    throw AssertionError();

  DSBUFFERDESC desc{};
  desc.dwSize = 20;
  desc.dwFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLVOLUME;
  desc.dwBufferBytes = s.data.cksize;
  desc.lpwfxFormat = s.format.get();
  if (HRESULT r = Directsound_->CreateSoundBuffer(desc, aanipuskuri_); r != DS_OK) {
    aanipuskuri_.reset();
    throw EDirectX(r);
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
