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
#include <vector>

#include "platform/clock.h"
#include "platform/midi_out.h"
#include "platform/mixer.h"
#include "sound/instruments.h"

namespace taktovi {

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

// Where the two programs' sound output differs, handed in as data by each program.
struct SoundProfile {
  bool volumeOnChannel1 = false;      // the start-up sets controller 7 on channel 1 too
  bool allNotesOffInWavMode = false;  // lopeta_savel ends MIDI notes in WAV mode as well
};

struct SoundDeps {
  SoundProfile profile;
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
  // A melody's tone starts and ends at the steady-clock time it is planned for (kNow: at the
  // call); it is heard heardLatencyNs() after that time.
  void aloita_savel(int32_t arvo, int64_t atNs = kNow);
  void lopeta_savel(int64_t atNs = kNow);
  void sulje_midi();

  // An instrument menu item: remember its sample; a program change in MIDI mode, a new
  // buffer in WAV mode.
  void selectInstrument(const Instrument& instrument);

  // WAV mode. LuoDirectsound throws on failure, leaving mode, pitch table and status as
  // they were.
  void LuoDirectsound();
  void PoistaDirectsound();

  // The sound test button.
  void soundTestPress();
  void soundTestRelease();

  // How long after the time a tone is started for it is heard in the current mode (ns).
  int64_t heardLatencyNs() const;
  // Whether a melody's tones may be handed over whole at its start: the current mode's device
  // schedules, and plays each at its time. Otherwise each goes at its turn.
  bool schedulesAhead() const;
  // Nothing handed over for a time after now plays any more, in either mode.
  void cancelScheduled();
  // How many changes of mode, instrument and device were made. One in the middle of a melody
  // handed over ahead cancels what was handed over; the player hands the rest over again.
  uint64_t changes() const { return changes_; }
  // Whether a tone started now would be heard in the current mode, as far as the system knows.
  bool audible() const;

  // --- what the sound settings panel does ---
  struct Device {
    uint32_t id;
    std::string name;
  };
  // The devices a user may choose: every device whose capabilities can be read and that is no
  // external port, then the system's default routing if it answers.
  std::vector<Device> listDevices();
  // Closes the device, opens the chosen one, resets it and sets full volume; true when the
  // open succeeded. The mode and the instrument stay.
  bool selectDevice(const Device& device);
  // The MIDI button: MIDI mode and its pitch table; WAV mode's buffer stays, silenced.
  void midiMode();

  // --- state, as the window and its tests see it ---
  bool midi_tila() const { return midi_tila_; }
  const std::array<int32_t, 10>& korkeudet() const { return korkeudet_; }  // entries 1-9
  const std::string& soitintiedosto() const { return soitintiedosto_; }
  HMIDIOUT midi_kahva() const { return midi_kahva_; }
  uint32_t midilaite() const { return midilaite_; }
  const std::string& midilaitteen_nimi() const { return midilaitteen_nimi_; }
  const std::array<uint16_t, 128>& patchit() const { return patchit_; }
  bool hasMixer() const { return Directsound_ != nullptr; }
  bool hasSampleBuffer() const { return aanipuskuri_ != nullptr; }

 private:
  SoundDeps deps_;
  bool midi_tila_ = true;
  std::array<int32_t, 10> korkeudet_{};
  std::string soitintiedosto_ = "piano.wav";
  HMIDIOUT midi_kahva_ = 0;
  uint32_t midilaite_ = 0;
  std::string midilaitteen_nimi_;
  MidiOutCaps laitetiedot_{};
  std::array<uint16_t, 128> patchit_{};
  // A change of mode, instrument or device begins: counted, and what was handed over ahead
  // cancelled. True when that was in the middle of a melody.
  bool beginChange();
  void noteHanded(int64_t atNs);

  std::unique_ptr<SoundMixer> Directsound_;
  std::unique_ptr<SoundBuffer> aanipuskuri_;
  uint64_t changes_ = 0;
  int64_t handedUntilNs_ = 0;  // the latest time a tone was handed over for
};

}  // namespace taktovi
