#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/LineFile.h"
#include "tests/support/TempDir.h"

namespace fivestage {
namespace {

using testing::TempDir;

std::vector<std::string> remainingLines(LineFile& file) {
  std::vector<std::string> lines;
  std::string_view line;
  while (file.nextLine(line)) lines.emplace_back(line);
  return lines;
}

std::vector<std::string> readAll(const TempDir& dir, const std::string& content) {
  dir.write("file.txt", content);
  LineFile file;
  EXPECT_TRUE(file.open((dir.path() / "file.txt").c_str()));
  return remainingLines(file);
}

// The same content as a text in memory, read by a reader left in the middle of a file.
std::vector<std::string> readText(const std::string& content) {
  TempDir dir;
  dir.write("earlier.txt", "an earlier file\nwith two lines");
  LineFile file;
  EXPECT_TRUE(file.open((dir.path() / "earlier.txt").c_str()));
  std::string_view line;
  EXPECT_TRUE(file.nextLine(line));
  file.openText(content);
  return remainingLines(file);
}

struct LineCase {
  std::string name;
  std::string content;
  std::vector<std::string> lines;
};

TEST(LineFile, SplitsLinesByTheFileRules) {
  const std::string longLine(200000, 'x');
  const std::vector<LineCase> cases{
      {"empty file", "", {}},
      {"no final newline", "a\nb", {"a", "b"}},
      {"final newline adds nothing", "a\nb\n", {"a", "b"}},
      {"two final newlines add an empty line", "a\n\n", {"a", ""}},
      {"only a newline", "\n", {""}},
      {"CRLF", "a\r\nb\r\n", {"a", "b"}},
      {"CR inside a line stays", "a\rb\n", {"a\rb"}},
      {"NUL bytes stay", std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
      {"line longer than the buffer", longLine + "\nz", {longLine, "z"}},
      {"CRLF split across buffers", std::string(65535, 'y') + "\r\nq", {std::string(65535, 'y'), "q"}},
  };
  for (const LineCase& c : cases) {
    TempDir dir;
    EXPECT_EQ(readAll(dir, c.content), c.lines) << c.name;
    EXPECT_EQ(readText(c.content), c.lines) << c.name << ", in memory";
  }
}

TEST(LineFile, ReadsAFileAfterAText) {
  TempDir dir;
  dir.write("file.txt", "x\ny");
  LineFile file;
  file.openText("text\r\nwithout a line feed\r");
  EXPECT_EQ(remainingLines(file), (std::vector<std::string>{"text", "without a line feed\r"}));
  ASSERT_TRUE(file.open((dir.path() / "file.txt").c_str()));
  EXPECT_EQ(remainingLines(file), (std::vector<std::string>{"x", "y"}));
}

TEST(LineFile, ManyLinesAcrossBufferRefills) {
  std::string content;
  std::vector<std::string> expected;
  for (int i = 0; i < 30000; ++i) {
    expected.push_back(std::to_string(i * 7919));
    content += expected.back() + "\n";
  }
  TempDir dir;
  EXPECT_EQ(readAll(dir, content), expected);
}

TEST(LineFile, MissingFileAndDirectoryCannotBeOpened) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "folder");
  LineFile file;
  EXPECT_FALSE(file.open((dir.path() / "missing.txt").c_str()));
  EXPECT_FALSE(file.open((dir.path() / "folder").c_str()));
}

}  // namespace
}  // namespace fivestage
