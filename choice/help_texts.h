#pragma once
// The choice trainer's help texts, one entry per line, exactly as shown.

#include <vector>

namespace taktovi {

const std::vector<const char*>& choiceMemo1();  // "ALLGEMEINE HINWEISE"
const std::vector<const char*>& choiceMemo3();  // "EINSTELLUNGEN"
const std::vector<const char*>& choiceMemo4();  // "BEDIENUNG"

}  // namespace taktovi
