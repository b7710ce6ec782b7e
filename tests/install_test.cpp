// The staged installation (see install_checks.cmake): exactly the listed files, icons rendered
// from their SVG, menu entries that start the installed programs, and metadata of this version.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kStage = TAKTOVI_STAGE;
const fs::path kUsr = kStage / "usr";
const char* const kPrograms[] = {"taktovi1demo", "taktovi2demo"};

std::vector<std::string> lines(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string text(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Every file and link under the stage, as "path" or "path -> target", sorted.
std::vector<std::string> stagedTree() {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(kStage)) {
    const std::string rel = e.path().lexically_relative(kStage).string();  // links not followed
    if (e.is_symlink())
      out.push_back(rel + " -> " + fs::read_symlink(e.path()).string());
    else if (!e.is_directory())
      out.push_back(rel);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The keys of a desktop entry's one group.
std::map<std::string, std::string> desktopEntry(const fs::path& file) {
  std::map<std::string, std::string> keys;
  for (const std::string& line : lines(file)) {
    const auto eq = line.find('=');
    if (eq != std::string::npos && line[0] != '#') keys[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return keys;
}

QImage render(const fs::path& svg, int size) {
  QSvgRenderer renderer(QString::fromStdString(svg.string()));
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter);
  return image;
}

}  // namespace

TEST(Installation, HoldsExactlyTheListedFiles) {
  EXPECT_EQ(stagedTree(), lines(fs::path(TAKTOVI_TEST_DATA) / "install_layout.txt"));
  // Programs are executable by all, everything else readable by all; nobody but the owner writes.
  using P = fs::perms;
  for (const auto& e : fs::recursive_directory_iterator(kStage)) {
    if (e.is_symlink() || e.is_directory()) continue;
    const bool program = e.path().parent_path() == kUsr / "lib/taktovi" && e.path().extension() != ".wav";
    const P expected = program
                           ? P::owner_all | P::group_read | P::group_exec | P::others_read | P::others_exec
                           : P::owner_read | P::owner_write | P::group_read | P::others_read;
    EXPECT_EQ(e.status().permissions(), expected) << e.path();
  }
}

TEST(Installation, PngIconsAreTheSvgIconAtEachSize) {
  for (const char* program : kPrograms) {
    const fs::path svg = kUsr / "share/icons/hicolor/scalable/apps" / (std::string(program) + ".svg");
    ASSERT_TRUE(QSvgRenderer(QString::fromStdString(svg.string())).isValid()) << svg;
    for (int size : {48, 64, 128, 256}) {
      const std::string dir = std::to_string(size) + "x" + std::to_string(size);
      const QImage png(QString::fromStdString(
          (kUsr / "share/icons/hicolor" / dir / "apps" / (std::string(program) + ".png")).string()));
      ASSERT_EQ(png.size(), QSize(size, size)) << program << " " << dir;
      EXPECT_EQ(png.convertToFormat(QImage::Format_ARGB32), render(svg, size)) << program << " " << dir;
      EXPECT_EQ(qAlpha(png.pixel(0, 0)), 0) << "a square, not an icon with rounded corners";
      EXPECT_EQ(qAlpha(png.pixel(size / 2, size / 2)), 255);
    }
  }
  // The two programs' icons differ.
  EXPECT_NE(render(kUsr / "share/icons/hicolor/scalable/apps/taktovi1demo.svg", 48),
            render(kUsr / "share/icons/hicolor/scalable/apps/taktovi2demo.svg", 48));
}

TEST(Installation, MenuEntriesStartTheInstalledProgramsAndNameTheirIcons) {
  for (const char* program : kPrograms) {
    auto entry = desktopEntry(kUsr / "share/applications" / (std::string(program) + ".desktop"));
    // Exec is looked up on the PATH: the link in bin/, which leads to lib/taktovi/.
    EXPECT_EQ(entry["Exec"], program);
    EXPECT_EQ(fs::canonical(kUsr / "bin" / entry["Exec"]), fs::canonical(kUsr / "lib/taktovi" / program));
    EXPECT_TRUE(fs::exists(kUsr / "share/icons/hicolor/scalable/apps" / (entry["Icon"] + ".svg"))) << program;
    EXPECT_EQ(entry["Categories"], "Education;Music;");
    EXPECT_FALSE(entry["Name[de]"].empty());
    EXPECT_FALSE(entry["Comment[de]"].empty());
    for (const char* word : {"Rhythmus;", "Gehör;", "Melodie;", "Kinder;", "Therapie;"})
      EXPECT_NE(entry["Keywords[de]"].find(word), std::string::npos) << program << " " << word;
  }
}

TEST(Installation, MetadataLaunchesTheMenuEntryAndDescribesThisVersion) {
  for (const char* program : kPrograms) {
    const std::string xml =
        text(kUsr / "share/metainfo" / ("org.taktovi." + std::string(program) + ".metainfo.xml"));
    EXPECT_NE(xml.find("<launchable type=\"desktop-id\">" + std::string(program) + ".desktop</launchable>"),
              std::string::npos)
        << program;
    EXPECT_NE(xml.find("<release version=\"" TAKTOVI_VERSION "\""), std::string::npos)
        << program << ": no release entry for " TAKTOVI_VERSION;
    EXPECT_NE(xml.find("<content_rating type=\"oars-1.1\""), std::string::npos) << program;
  }
}
