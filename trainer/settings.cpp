#include "trainer/settings.h"

namespace taktovi {

const std::array<ColourScheme, 4>& colourSchemes() {
  using namespace colours;
  static const std::array<ColourScheme, 4> schemes = {{
      {navy, blue, lime, yellow},
      {purple, fuchsia, lime, yellow},
      {green, lime, navy, yellow},
      {orange, yellow, blue, lime},
  }};
  return schemes;
}

}  // namespace taktovi
