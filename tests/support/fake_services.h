#pragma once
// Recording stand-ins for the error display, the program start and the random draws.

#include <deque>
#include <string>
#include <vector>

#include "kit/services.h"

namespace taktovi::test {

class RecordingErrorDisplay final : public ErrorDisplay {
 public:
  std::vector<std::string> shown;
  void show(const std::string& message) override { shown.push_back(message); }
};

class RecordingStarter final : public ProgramStarter {
 public:
  std::vector<std::string> started;
  bool succeed = true;  // false: the program is missing
  bool start(const std::string& name) override {
    started.push_back(name);
    return succeed;
  }
  std::string location(const std::string& name) const override { return "/opt/fake/" + name; }
};

// Hands out the queued values in order (each reduced into range); 0 once they run out.
class ScriptedDraws final : public RandomDraws {
 public:
  std::deque<int> values;
  std::vector<int> asked;  // the range of every draw
  int draw(int n) override {
    asked.push_back(n);
    if (values.empty()) return 0;
    const int v = values.front();
    values.pop_front();
    return v % n;
  }
};

}  // namespace taktovi::test
