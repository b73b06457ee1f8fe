#include "grade/Grader.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <thread>

#include "exercise/FileRead.h"

namespace fivestage::grade {
namespace {

namespace fs = std::filesystem;

// Why a submission's folder is not one to read, if it is not: a link is not
// followed, whatever it leads to.
std::optional<std::string> folderProblem(const std::string& submission) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(submission, error);
  if (error || status.type() == fs::file_type::not_found) return "no such folder";
  if (fs::is_symlink(status)) return "the submission is a symbolic link, not a folder of its own";
  if (!fs::is_directory(status)) return "the submission is not a folder";
  return std::nullopt;
}

// The folder a name leads to, spelled one way: see distinctSubmissions.
fs::path folderKey(const std::string& name) {
  std::error_code error;
  fs::path path = fs::absolute(name, error).lexically_normal();
  if (error) return name;
  if (!path.has_filename()) path = path.parent_path();  // a trailing slash
  const fs::path above = fs::weakly_canonical(path.parent_path(), error);
  return error ? path : above / path.filename();
}

}  // namespace

Distinct distinctSubmissions(const std::vector<std::string>& names) {
  Distinct distinct;
  std::map<fs::path, std::string> seen;  // each folder's key, with its first name
  for (const std::string& name : names) {
    const auto [first, added] = seen.emplace(folderKey(name), name);
    if (added) {
      distinct.submissions.push_back(name);
    } else {
      distinct.repeats.emplace_back(name, first->second);
    }
  }
  return distinct;
}

Grade gradeSubmission(const exercise::Checker& checker, const std::string& submission) {
  Grade grade{submission, std::nullopt, {}};
  try {
    if (const std::optional<std::string> problem = folderProblem(submission)) {
      grade.error = *problem;
      return grade;
    }
    grade.outcome = checker.check(exercise::submittedSource(submission));
  } catch (const std::bad_alloc&) {
    grade.outcome.reset();
    grade.error = "ran out of memory while grading";
  } catch (const std::exception& error) {
    grade.outcome.reset();
    grade.error = error.what();
  }
  return grade;
}

std::vector<Grade> gradeAll(const exercise::Exercise& exercise, const std::vector<std::string>& submissions,
                            unsigned jobs, const Progress& progress) {
  const std::size_t workers = std::clamp<std::size_t>(jobs, 1, std::max<std::size_t>(1, submissions.size()));
  const exercise::Checker checker(exercise);

  std::vector<Grade> grades(submissions.size());
  std::atomic<std::size_t> next{0};
  std::size_t done = 0;
  std::mutex progressLock;  // guards `done` and the calls to `progress`
  const auto work = [&] {
    for (std::size_t i = next++; i < submissions.size(); i = next++) {
      grades[i] = gradeSubmission(checker, submissions[i]);
      const std::lock_guard lock(progressLock);
      ++done;
      if (progress) progress(done, submissions.size());
    }
  };
  std::vector<std::thread> threads;
  for (std::size_t i = 1; i < workers; ++i) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();
  return grades;
}

}  // namespace fivestage::grade
