#pragma once
// The sound output of one program: the mode flag, the pitch table, the current instrument,
// the MIDI device and, in WAV mode, the mixer with its one looping sample buffer. Owned by
// the program's window; everything runs on the UI thread. Sound failures leave the program
// silent; only building WAV mode raises errors (EDirectX, AssertionError), for the window's
// error display.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/midi_out.h"
#include "platform/mixer.h"
#include "sound/instruments.h"

namespace taktovi {

enum class Program { Choice = 1, Timing = 2 };

// MIDI messages of the system, packed (status, data 1 << 8, data 2 << 16).
inline constexpr uint32_t kProgramChange0Ch1 = 0x007F00C1;
inline constexpr uint32_t kVolumeFullCh0 = 0x007F07B0;
inline constexpr uint32_t kVolumeFullCh1 = 0x007F07B1;
inline constexpr uint32_t kAllNotesOff = 0x00007BB0;
inline constexpr uint32_t kSoundTestOn = 0x007F3290;
inline constexpr uint32_t kPitchedToneOn = 0x00730090;  // plus 256 x note
inline constexpr uint32_t kStrongToneOn = 0x007F3C90;
inline constexpr uint32_t kFullVolume = 0xFFFFFFFF;
// The note-off sent for a rest: nothing sounds then, so note and velocity are ours.
inline constexpr uint32_t kRestNoteOff = 0x00003C80;

// Pitch levels 1-6 of each mode; entries 7-9 are the codes 1, 2, 0 in both.
inline constexpr std::array<int32_t, 6> kMidiPitches = {50, 52, 54, 56, 58, 60};
inline constexpr std::array<int32_t, 6> kWavRates = {26200, 29300, 32900, 34600, 38800, 44100};
inline constexpr int32_t kWavToneRate = 34600;  // strong and weak tones in WAV mode

// The programs lataa_patchit caches: 86, not the 88 of "KEYBOARD 1".
inline constexpr std::array<int, 7> kCachedPatches = {0, 12, 56, 71, 80, 86, 107};

struct SoundDeps {
  Program program;
  MidiOutService& midi;
  MixerFactory& mixers;
  const Clock& clock;
  std::string executableDir;  // where the samples are; ends with '/'
  void* window = nullptr;     // for the mixer's cooperative level
};

class SoundOutput {
 public:
  explicit SoundOutput(SoundDeps deps);
  ~SoundOutput();  // releases what WAV mode still holds, buffer before mixer
  SoundOutput(const SoundOutput&) = delete;
  SoundOutput& operator=(const SoundOutput&) = delete;

  // The window's creation: choose and open the device, programs, patches, volumes...
  void startUp();
  // ...and at its very end: MIDI mode with the piano and the MIDI pitch table.
  void finishCreation();

  void HaeOletuslaite();
  void lataa_patchit();
  void valitse_soitin(int program);
  void MaaritaKorkeudet();
  void aloita_savel(int32_t arvo);
  void lopeta_savel();
  void sulje_midi();

  // An instrument menu item: remember its sample; a program change in MIDI mode, a new
  // buffer in WAV mode.
  void chooseInstrument(const Instrument& instrument);

  // WAV mode. LuoDirectsound throws on failure, leaving mode, pitch table and status as
  // they were.
  void LuoDirectsound();
  void PoistaDirectsound();

  // The sound test button.
  void soundTestPress();
  void soundTestRelease();

  MidiOutService& midi() { return deps_.midi; }
  Program program() const { return deps_.program; }

  // --- state ---
  bool midi_tila = true;
  std::array<int32_t, 10> korkeudet{};  // entries 1-9
  std::string soitintiedosto = "piano.wav";
  HMIDIOUT midi_kahva = 0;
  uint32_t midilaite = 0;
  std::string midilaitteen_nimi;
  MidiOutCaps laitetiedot{};
  std::array<uint16_t, 128> patchit{};
  std::unique_ptr<SoundMixer> Directsound;
  std::unique_ptr<SoundBuffer> aanipuskuri;

 private:
  void fadeOut();

  SoundDeps deps_;
};

}  // namespace taktovi
