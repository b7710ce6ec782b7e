#pragma once
// The help texts as they must appear, kept as data files beside the tests, and the lines a
// memo shows.

#include <QPlainTextEdit>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace taktovi::test {

inline std::vector<std::string> expectedLines(const std::string& file) {
  std::ifstream in(std::string(TAKTOVI_TEST_DATA) + "/" + file, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

inline std::vector<std::string> linesOf(const QPlainTextEdit* m) {
  std::vector<std::string> out;
  for (const QString& l : m->toPlainText().split('\n')) out.push_back(l.toStdString());
  return out;
}

}  // namespace taktovi::test
