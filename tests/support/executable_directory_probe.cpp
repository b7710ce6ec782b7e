// Prints executableDirectory() once a line (or the end) arrives on standard input, so a test can
// change the executable's file in between.
#include <iostream>
#include <string>

#include "kit/services.h"

int main() {
  std::string line;
  std::getline(std::cin, line);
  std::cout << taktovi::executableDirectory() << std::endl;
  return 0;
}
