#include "sound/edirectx.h"

#include <array>
#include <utility>

namespace taktovi {

namespace {

constexpr const char* kUnrecognized = "Unrecognized Error";

using Entry = std::pair<HRESULT, const char*>;

// The general results, known to the first tables of the chain in these words.
constexpr std::array<Entry, 6> kGeneral = {{
    {0x80004001, "Action not supported."},
    {0x80004002,
     "The specified interface is not supported by the object. This value is equal to the E_NOINTERFACE "
     "standard COM return value."},
    {0x80004005, "Generic failure."},
    {0x80040110, "This object does not support aggregation."},
    {0x8007000E, "DirectDraw does not have enough memory to perform the operation."},
    {0x80070057, "One or more of the parameters passed to the function are incorrect."},
}};

// The mixer's own results.
constexpr std::array<Entry, 10> kMixer = {{
    {0x8878000A,
     "The request failed because resources, such as a priority level, were already in use by another "
     "caller."},
    {0x8878001E, "The control (volume, pan, and so forth) requested by the caller is not available."},
    {0x88780032, "This function is not valid for the current state of this object."},
    {0x88780046, "The caller does not have the priority level required for the function to succeed."},
    {0x88780064, "The specified wave format is not supported."},
    {0x88780078, "No sound driver is available for use."},
    {0x88780082, "The object is already initialized."},
    {0x88780096, "The buffer memory has been lost and must be restored."},
    {0x887800A0, "Another application has a higher priority level, preventing this call from succeeding."},
    {0x887800AA,
     "The IDirectSound::Initialize method has not been called or has not been called successfully before "
     "other "
     "methods were called."},
}};

template <size_t N>
const char* lookUp(const std::array<Entry, N>& table, HRESULT code) {
  for (const auto& [c, text] : table)
    if (c == code) return text;
  return kUnrecognized;
}

}  // namespace

std::string describeResult(HRESULT code) {
  if (code == 0) return "No error";
  using Table = const char* (*)(HRESULT);
  // Graphics, input, network and setup tables first (they share the general results), then
  // the mixer's.
  constexpr Table chain[] = {
      [](HRESULT c) { return lookUp(kGeneral, c); },
      [](HRESULT c) { return lookUp(kMixer, c); },
  };
  for (Table t : chain) {
    const std::string d = t(code);
    if (d != kUnrecognized) return d;
  }
  return kUnrecognized;
}

}  // namespace taktovi
