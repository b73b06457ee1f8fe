// Grading a class: every submission gets its grade in order, hostile ones a
// reason, and the grade sheet is well-formed CSV and JSON.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>

#include "grade/GradeSheet.h"
#include "grade/Grader.h"
#include "grade/JUnitReport.h"
#include "grade/PlatformResults.h"
#include "tests/support/TempDir.h"

namespace fivestage::grade {
namespace {

namespace fs = std::filesystem;
using exercise::Exercise;

// $2 must be twice $1, within 100 cycles.
Exercise doubling() {
  Exercise exercise;
  exercise.title = "Doubling";
  exercise.maxCycles = 100;
  exercise::DataSet data{"seen", "0\n4\n0\n", "0\n", false, {}};
  data.expect.registers[2] = 8;
  exercise.data.push_back(data);
  return exercise;
}

struct Submission {
  const char* name;
  std::function<void(const testing::TempDir&, const fs::path&)> make;
  bool graded;
  bool passed;
  const char* error;  // when not graded
};

TEST(Grader, GivesEveryHostileSubmissionARowWithAReason) {
  const testing::TempDir dir;
  dir.write("outside/secret", "add $2, $1, $1\n");  // a right answer, but not the submission's own file
  const auto write = [](const std::string& text) {
    return [text](const testing::TempDir&, const fs::path& folder) {
      std::ofstream(folder / "src.txt", std::ios::binary) << text;
    };
  };
  const Submission cases[] = {
      {"right", write("add $2, $1, $1\n"), true, true, ""},
      {"wrong", write("add $2, $1, $0\n"), true, false, ""},
      {"endless", write("j L1\n"), true, false, ""},
      {"empty", write(""), true, false, ""},
      {"no src.txt", [](const testing::TempDir&, const fs::path&) {}, false, false, "there is no src.txt"},
      {"binary",
       write(std::string("\x7f"
                         "ELF\x02\x01\x01\0\0",
                         9)),
       false, false, "src.txt is not text: byte 0x02 at offset 4"},
      {"ten megabytes", write(std::string(10 * 1024 * 1024, '#')), false, false,
       "src.txt is too large: 10485760 bytes, at most 1048576"},
      {"link out of the folder",
       [&](const testing::TempDir&, const fs::path& folder) {
         fs::create_symlink(dir.path() / "outside/secret", folder / "src.txt");
       },
       false, false, "src.txt is a symbolic link: only a file of the folder's own is read"},
      {"link to /etc/shadow",
       [](const testing::TempDir&, const fs::path& folder) { fs::create_symlink("/etc/shadow", folder / "src.txt"); },
       false, false, "src.txt is a symbolic link: only a file of the folder's own is read"},
  };
  std::vector<std::string> folders;
  for (const Submission& submission : cases) {
    const fs::path folder = dir.path() / "class" / submission.name;
    fs::create_directories(folder);
    submission.make(dir, folder);
    folders.push_back(folder.string());
  }
  // A folder that is a link is not followed either, nor is a missing one read.
  fs::create_directory_symlink(dir.path() / "class/right", dir.path() / "class/linked");
  folders.push_back((dir.path() / "class/linked").string());
  folders.push_back((dir.path() / "class/missing").string());

  std::mutex calls;
  std::vector<std::size_t> progress;
  const std::vector<Grade> grades = gradeAll(doubling(), folders, 3, [&](std::size_t done, std::size_t total) {
    const std::lock_guard lock(calls);
    EXPECT_EQ(total, folders.size());
    progress.push_back(done);
  });
  ASSERT_EQ(grades.size(), folders.size());
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(grades[i].submission, folders[i]) << "the grades keep the submissions' order";
    EXPECT_EQ(grades[i].outcome.has_value(), cases[i].graded);
    EXPECT_EQ(grades[i].outcome && grades[i].outcome->passed(), cases[i].passed);
    EXPECT_EQ(grades[i].error, cases[i].error);
  }
  EXPECT_EQ(grades[std::size(cases)].error, "the submission is a symbolic link, not a folder of its own");
  EXPECT_EQ(grades[std::size(cases) + 1].error, "no such folder");
  std::sort(progress.begin(), progress.end());
  EXPECT_EQ(progress.size(), folders.size());
  EXPECT_EQ(progress.back(), folders.size());
}

TEST(GradeSheet, QuotesCsvFieldsThatNeedIt) {
  const std::pair<const char*, const char*> cases[] = {
      {"alice", "alice"},
      {"", ""},
      {"smith, jo", "\"smith, jo\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"carriage\rreturn", "\"carriage\rreturn\""},
  };
  for (const auto& [text, field] : cases) EXPECT_EQ(csvField(text), field) << text;
}

std::vector<Grade> sampleGrades() {
  const exercise::Checker checker(doubling());
  return {gradeSubmission(checker, "/nowhere, really"), Grade{"bob", checker.check("add $2, $1, $0\n"), ""},
          Grade{"carol", checker.check("add $2, $1, $1\n"), ""}};
}

TEST(GradeSheet, WritesOneCsvRowPerSubmissionUnderTheHeader) {
  const std::vector<Grade> grades = sampleGrades();
  const auto figures = [](const Grade& grade) {
    return std::to_string(*grade.outcome->cycles) + "," + std::to_string(*grade.outcome->energy);
  };
  std::ostringstream csv;
  writeCsv(csv, grades);
  EXPECT_EQ(csv.str(),
            "submission,passed,score,cycles,energy,failed,error,warnings\r\n"
            "\"/nowhere, really\",false,0,,,,no such folder,\r\n"
            "bob,false,0," +
                figures(grades[1]) +
                ",seen: $2,,\r\n"
                "carol,true,1," +
                figures(grades[2]) + ",,,\r\n");
}

// An answer the program check warns about twice: a label by name, and a
// register reg.txt does not have.
Grade warnedGrade() {
  const exercise::Checker checker(doubling());
  return {"dan", checker.check("add $2, $1, $1\nbne $1, $0, again\nadd $9, $1, $1\n"), ""};
}

TEST(GradeSheet, GivesTheProgramChecksWarningsAsFeedback) {
  const Grade grade = warnedGrade();
  ASSERT_EQ(grade.outcome->warnings.size(), 2u);
  const std::string first = "line 2: " + grade.outcome->warnings[0].message;
  const std::string second = "line 3: " + grade.outcome->warnings[1].message;
  EXPECT_EQ(grade.outcome->warnings[0].kind, "label-never-taken");
  EXPECT_EQ(grade.outcome->warnings[1].kind, "register-outside");

  EXPECT_EQ(gradeLine(grade), "dan: 2 of 2 checks failed (program check: 2 warnings)");
  std::ostringstream csv;
  writeCsv(csv, {grade});
  const std::string row = csv.str().substr(csv.str().find("\r\n") + 2);
  EXPECT_EQ(row.substr(row.find(",seen")), ",seen: run completes;seen: $2,,\"" + first + "\n" + second + "\"\r\n");
  const nlohmann::ordered_json json = gradesJson(doubling(), {grade});
  const auto& warnings = json["submissions"][0]["warnings"];
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[0]["line"], 2);
  EXPECT_EQ(warnings[1]["kind"], "register-outside");
  EXPECT_EQ(gradesJson(doubling(), sampleGrades())["submissions"][0]["warnings"], nlohmann::ordered_json::array());
}

TEST(GradeSheet, EscapesControlCharactersInANameForTheTerminal) {
  const std::pair<const char*, const char*> cases[] = {
      {"alice", "alice"},
      {"two\nlines", "two\\nlines"},
      {"tab\tand\rreturn", "tab\\tand\\rreturn"},
      {"bell\x07 and \x1b[31mred", "bell\\x07 and \\x1b[31mred"},
      {"delete\x7f", "delete\\x7f"},
      {"back\\slash", "back\\\\slash"},
      {"Zoë", "Zoë"},
  };
  for (const auto& [name, shown] : cases) EXPECT_EQ(escapedName(name), shown) << name;
  EXPECT_EQ(gradeLine({"a\nb", std::nullopt, "no such folder"}), "a\\nb: not graded: no such folder");
}

TEST(JUnitReport, WritesAnyTextAsXmlCanHoldIt) {
  const std::pair<const char*, const char*> cases[] = {
      {"ann", "ann"},
      {"ann & <bob>", "ann &amp; &lt;bob&gt;"},
      {"say \"hi\" and 'bye'", "say &quot;hi&quot; and &#39;bye&#39;"},
      {"tab\tline\nreturn\r", "tab&#9;line&#10;return&#13;"},
      {"bell\x07 and \x1b", "bell\\x07 and \\x1b"},
      {"back\\slash", "back\\slash"},
      {"Zoë ✓", "Zoë ✓"},
  };
  for (const auto& [text, xml] : cases) EXPECT_EQ(xmlText(text), xml) << text;
}

TEST(PlatformResults, EncodesBase64AsRfc4648Does) {
  const std::pair<std::string, const char*> cases[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {std::string("\xff\xfe\0", 3), "//4A"},
      {"{\"version\": 1}", "eyJ2ZXJzaW9uIjogMX0="},
  };
  for (const auto& [bytes, encoded] : cases) EXPECT_EQ(base64(bytes), encoded) << bytes;
}

TEST(Grader, KeepsEachFolderOnceHoweverItIsSpelled) {
  const testing::TempDir dir;
  fs::create_directories(dir.path() / "class/ann");
  fs::create_directories(dir.path() / "class/ben");
  fs::create_directory_symlink(dir.path() / "class", dir.path() / "linked-class");
  fs::create_directory_symlink(dir.path() / "class/ann", dir.path() / "class/ann-link");
  const std::string root = dir.path().string();
  struct Case {
    const char* name;
    std::vector<std::string> names;
    std::vector<std::string> kept;
  };
  const Case cases[] = {
      {"one name twice", {root + "/class/ann", root + "/class/ann"}, {root + "/class/ann"}},
      {"trailing and doubled slashes, dots",
       {root + "/class/ann", root + "/class//ann/", root + "/class/./ben/../ann", root + "/class/ben"},
       {root + "/class/ann", root + "/class/ben"}},
      {"through a linked folder above", {root + "/linked-class/ann", root + "/class/ann"}, {root + "/linked-class/ann"}},
      {"a link to a submission is a name of its own",
       {root + "/class/ann", root + "/class/ann-link"},
       {root + "/class/ann", root + "/class/ann-link"}},
      {"missing folders compared by name",
       {root + "/class/gone", root + "/class/gone/", root + "/class/other"},
       {root + "/class/gone", root + "/class/other"}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    const Distinct distinct = distinctSubmissions(test.names);
    EXPECT_EQ(distinct.submissions, test.kept);
    EXPECT_EQ(distinct.repeats.size(), test.names.size() - test.kept.size());
  }
  const Distinct relative = distinctSubmissions({".", "./", fs::current_path().string()});
  EXPECT_EQ(relative.submissions, std::vector<std::string>{"."});
  EXPECT_EQ(relative.repeats, (std::vector<std::pair<std::string, std::string>>{{"./", "."}, {fs::current_path().string(), "."}}));
}

TEST(GradeSheet, WritesEverySubmissionsChecksAsJsonWithTheirValues) {
  const nlohmann::ordered_json json = gradesJson(doubling(), sampleGrades());
  EXPECT_EQ(json["schema"], 1);
  EXPECT_EQ(json["exercise"], "Doubling");
  EXPECT_EQ(json["maxScore"], 1);
  ASSERT_EQ(json["submissions"].size(), 3u);
  const auto& notGraded = json["submissions"][0];
  EXPECT_EQ(notGraded["error"], "no such folder");
  EXPECT_TRUE(notGraded["cycles"].is_null());
  EXPECT_TRUE(notGraded["checks"].empty());
  const auto& bob = json["submissions"][1];
  EXPECT_EQ(bob["passed"], false);
  EXPECT_EQ(bob["score"], 0) << "its one result wrong: a run that completes earns nothing";
  EXPECT_EQ(bob["failed"], nlohmann::ordered_json::array({"seen: $2"}));
  EXPECT_TRUE(bob["error"].is_null());
  EXPECT_EQ(bob["checks"][1]["expected"], 8);
  EXPECT_EQ(bob["checks"][1]["observed"], 4);
}

}  // namespace
}  // namespace fivestage::grade
