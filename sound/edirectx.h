#pragma once
// The error raised when WAV mode cannot be built: its message is CR CR, the description of
// the mixer's result code, CR CR.

#include <stdexcept>
#include <string>

#include "platform/mixer.h"

namespace taktovi {

// Asks the result-code tables in turn; the first answer other than "Unrecognized Error" is
// the description. 0 is "No error".
std::string describeResult(HRESULT code);

class EDirectX : public std::runtime_error {
 public:
  // `before`: a line that says more, shown before the description.
  explicit EDirectX(HRESULT code, const std::string& before = {})
      : std::runtime_error(before + "\r\r" + describeResult(code) + "\r\r"), code_(code) {}
  HRESULT code() const { return code_; }

 private:
  HRESULT code_;
};

}  // namespace taktovi
