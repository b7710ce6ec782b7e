#include "trainer/pattern.h"

#include <algorithm>
#include <sstream>
#include <string>

namespace taktovi {

std::vector<Element> parsePattern(const char* pattern) {
  std::vector<Element> out;
  std::istringstream in(pattern);
  for (std::string t; in >> t;) {
    if (t[0] >= '1' && t[0] <= '6') {
      out.push_back({Element::Kind::Pitch, t[0] - '0', t.size() > 1 && t[1] == 'h'});
    } else {
      out.push_back({t[0] == 'S'   ? Element::Kind::Strong
                     : t[0] == 'W' ? Element::Kind::Weak
                                   : Element::Kind::Rest});
    }
  }
  return out;
}

std::vector<int> levelsOf(const std::vector<Element>& pattern) {
  std::vector<int> levels;
  for (const Element& e : pattern)
    if (e.kind == Element::Kind::Pitch) levels.push_back(e.level);
  std::sort(levels.begin(), levels.end());
  levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
  return levels;
}

void writePattern(const std::vector<Element>& pattern, const PatternPlace& place, const PatternSound& sound,
                  const RectanglePool& pool, int first) {
  int h = 0;  // half beats before the element
  for (size_t i = 0; i < pattern.size(); ++i) {
    const Element& e = pattern[i];
    const bool pitched = e.kind == Element::Kind::Pitch;
    Tomapaneli* r = pool[first + static_cast<int>(i)];
    r->vasen = place.x[static_cast<size_t>(h)];
    r->yla = pitched ? place.levelRow[static_cast<size_t>(e.level)] : place.otherRow;
    r->muoto = e.kind == Element::Kind::Strong ? 3 : e.half ? 2 : 1;
    const int entry = pitched                           ? e.level
                      : e.kind == Element::Kind::Strong ? 7
                      : e.kind == Element::Kind::Weak   ? 8
                                                        : 9;
    r->savel = sound.korkeudet[static_cast<size_t>(entry)];
    r->kesto = e.half ? sound.puoli_isku : sound.isku;
    h += e.half ? 1 : 2;
  }
  pool[first + static_cast<int>(pattern.size())]->vasen = 0;
}

}  // namespace taktovi
