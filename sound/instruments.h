#pragma once
// The instrument menu "INSTRUMENTE": one entry per item, in menu order, shared by both windows.

#include <array>

namespace taktovi {

struct Instrument {
  const char* item;     // menu item name
  const char* handler;  // its click handler
  const char* caption;
  int program;          // General MIDI program, counted from 0
  const char* file;     // the sample beside the executable
};

inline constexpr const char* kInstrumentMenuItem = "VALITSESOITIN1";
inline constexpr const char* kInstrumentMenuCaption = "INSTRUMENTE";

inline constexpr std::array<Instrument, 7> kInstruments = {{
    {"PIANO1", "PIANO1Click", "KLAVIER", 0, "piano.wav"},
    {"MARIMBA1", "MARIMBA1Click", "MARIMBA", 12, "marimba.wav"},
    {"TRUMPETTI1", "TRUMPETTI1Click", "TROMPETE", 56, "trumpet.wav"},
    {"KLARINETTI1", "KLARINETTI1Click", "KLARINETTE", 71, "clarinet.wav"},
    {"ELEKTRONINEN11", "ELEKTRONINEN11Click", "KEYBOARD 1", 88, "solosynth.wav"},
    {"ELEKTRONINEN21", "ELEKTRONINEN21Click", "KEYBOARD 2", 80, "square.wav"},
    {"KOTO1", "KOTO1Click", "KOTO", 107, "koto.wav"},
}};

}  // namespace taktovi
