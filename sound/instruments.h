#pragma once
// The instrument menu "INSTRUMENTE": one entry per item, in menu order, shared by both windows.

#include <array>

namespace taktovi {

struct Instrument {
  const char* item;  // menu item name
  const char* caption;
  int program;       // General MIDI program, counted from 0
  const char* file;  // the sample beside the executable
};

inline constexpr std::array<Instrument, 7> kInstruments = {{
    {"PIANO1", "KLAVIER", 0, "piano.wav"},
    {"MARIMBA1", "MARIMBA", 12, "marimba.wav"},
    {"TRUMPETTI1", "TROMPETE", 56, "trumpet.wav"},
    {"KLARINETTI1", "KLARINETTE", 71, "clarinet.wav"},
    {"ELEKTRONINEN11", "KEYBOARD 1", 88, "solosynth.wav"},
    {"ELEKTRONINEN21", "KEYBOARD 2", 80, "square.wav"},
    {"KOTO1", "KOTO", 107, "koto.wav"},
}};

}  // namespace taktovi
