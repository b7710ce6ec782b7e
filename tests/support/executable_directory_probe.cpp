// Prints executableDirectory() once a line (or the end) arrives on standard input, so a test can
// change the executable's file in between.
#include <iostream>
#include <string>

#include "kit/services.h"

int main(int, char** argv) {
  std::string line;
  std::getline(std::cin, line);
  std::cout << taktovi::executableDirectory(argv[0]) << std::endl;
  return 0;
}
