#include "shell/StarterFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <ostream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "shell/Arguments.h"

namespace fivestage {
namespace {

// Why the folder is refused or could not be written; the message names the folder.
struct Refusal {
  std::string message;
};

[[noreturn]] void refuse(const std::string& what) { throw Refusal{what + ": " + std::strerror(errno)}; }

// A file descriptor, closed when it goes.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor& operator=(Descriptor&&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Writes the starter files into one folder, one path component at a time:
// each folder is opened without following a symbolic link and each file is
// created only where nothing is, so nothing outside the folder and nothing
// already there is ever written. A failure halfway removes what was made.
class StarterWriter {
 public:
  explicit StarterWriter(std::string folder)
      : name_(std::move(folder)), path_(withoutTrailingSlash(name_)), root_(openOrMake()) {
    if (!isEmpty()) {
      throw Refusal{"will not write into " + name_ + ": it is not empty; give a new or empty folder"};
    }
  }

  void writeAll(std::span<const StarterFile> files) {
    try {
      for (const auto& [path, text] : files) writeFile(path, text);
    } catch (const Refusal&) {
      undo();
      throw;
    }
  }

 private:
  // "dir/" names the same folder as "dir", but with the slash open would
  // follow a symbolic link.
  static std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.ends_with('/')) path.pop_back();
    return path;
  }

  int openOrMake() {
    int fd = open(path_.c_str(), folderFlags);
    if (fd < 0 && errno == ENOENT) {
      if (mkdir(path_.c_str(), 0777) != 0) refuse("cannot create " + name_);
      madeTheFolder_ = true;
      fd = open(path_.c_str(), folderFlags);
    }
    if (fd < 0) refuseToOpen();
    return fd;
  }

  bool isEmpty() const {
    DIR* listing = fdopendir(dup(root_.get()));
    if (listing == nullptr) refuse("cannot list " + name_);
    bool empty = true;
    while (const dirent* entry = readdir(listing)) {
      const std::string_view name = entry->d_name;
      if (name != "." && name != "..") empty = false;
    }
    closedir(listing);
    return empty;
  }

  [[noreturn]] void refuseToOpen() const {
    const int openError = errno;
    struct stat status {};
    if (lstat(path_.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
      throw Refusal{name_ + " is a symbolic link, which --init does not follow: give the folder itself"};
    }
    if (openError == ENOTDIR && lstat(path_.c_str(), &status) == 0 && !S_ISDIR(status.st_mode)) {
      throw Refusal{"will not write into " + name_ + ": it exists and is not a folder"};
    }
    errno = openError;
    refuse("cannot open " + name_);
  }

  // Opens the folder `relative` (its last component `name`, in `parent`),
  // making it first unless an earlier file of this run has.
  Descriptor enterFolder(int parent, const std::string& relative, const std::string& name) {
    if (mkdirat(parent, name.c_str(), 0777) == 0) {
      made_.push_back({relative, true});
    } else if (errno != EEXIST) {
      refuse("cannot create " + name_ + "/" + relative);
    }
    Descriptor folder(openat(parent, name.c_str(), folderFlags));
    if (folder.get() < 0) refuse("cannot open " + name_ + "/" + relative);
    return folder;
  }

  void writeFile(std::string_view path, std::string_view text) {
    std::vector<Descriptor> folders;
    int parent = root_.get();
    std::size_t start = 0;
    for (std::size_t slash = path.find('/'); slash != std::string_view::npos; slash = path.find('/', start)) {
      folders.push_back(
          enterFolder(parent, std::string(path.substr(0, slash)), std::string(path.substr(start, slash - start))));
      parent = folders.back().get();
      start = slash + 1;
    }
    const std::string shown = name_ + "/" + std::string(path);
    const Descriptor file(openat(parent, std::string(path.substr(start)).c_str(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (file.get() < 0) refuse("cannot create " + shown);
    made_.push_back({std::string(path), false});
    while (!text.empty()) {
      const ssize_t written = write(file.get(), text.data(), text.size());
      if (written < 0 && errno == EINTR) continue;
      if (written < 0) refuse("cannot write " + shown);
      text.remove_prefix(static_cast<std::size_t>(written));
    }
  }

  // Removes what this run made, the newest first, so that each folder is
  // empty when its turn comes.
  void undo() const {
    for (auto entry = made_.rbegin(); entry != made_.rend(); ++entry) {
      unlinkat(root_.get(), entry->path.c_str(), entry->isFolder ? AT_REMOVEDIR : 0);
    }
    if (madeTheFolder_) rmdir(path_.c_str());
  }

  struct Made {
    std::string path;  // relative to the folder
    bool isFolder;
  };

  std::string name_;  // as given, for messages
  std::string path_;  // as opened
  bool madeTheFolder_ = false;
  Descriptor root_;
  std::vector<Made> made_;
};

// The characters a shell takes as they are.
constexpr std::string_view plainCharacters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._/+-";

// The folder as the user would type it at a shell prompt.
std::string shellWord(const std::string& text) {
  if (!text.empty() && text.find_first_not_of(plainCharacters) == std::string::npos) return text;
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The command that starts fivestage again, as the user would type it: the
// bare name a shell found on the PATH, or else the path it was started by,
// made absolute so that it works after a cd too.
std::string commandWord(std::string_view invokedAs) {
  if (invokedAs.empty()) return "fivestage";
  if (invokedAs.find('/') == std::string_view::npos) return shellWord(std::string(invokedAs));
  std::error_code noWorkingDirectory;
  const std::filesystem::path absolute = std::filesystem::absolute(invokedAs, noWorkingDirectory);
  return shellWord(noWorkingDirectory ? std::string(invokedAs) : absolute.lexically_normal().string());
}

// The top-level entries made, a folder with the number of files in it, and
// the two ways to run it.
void printMade(std::ostream& out, const std::string& folder, const std::string& command,
               std::span<const StarterFile> files) {
  std::vector<std::string> entries;
  std::map<std::string, int> filesIn;  // by top-level folder
  for (const StarterFile& file : files) {
    const std::size_t slash = file.first.find('/');
    if (slash == std::string_view::npos) {
      entries.emplace_back(file.first);
      continue;
    }
    const std::string top(file.first.substr(0, slash + 1));
    if (filesIn[top]++ == 0) entries.push_back(top);
  }
  out << "Created in " << folder << ":\n";
  for (const std::string& entry : entries) {
    out << "  " << entry;
    if (filesIn.contains(entry)) out << " (" << filesIn[entry] << " files)";
    out << "\n";
  }
  const std::string word = shellWord(folder);
  out << "Read the comments in src.txt, then run it:\n  cd " << word << " && " << command << "\nor\n  " << command
      << " " << word << "\n";
}

}  // namespace

int createStarterFolder(const std::filesystem::path& folder, std::string_view invokedAs, std::ostream& out,
                        std::ostream& err) {
  try {
    StarterWriter(folder.string()).writeAll(starterFiles);
  } catch (const Refusal& refusal) {
    err << "fivestage: " << refusal.message << "\n";
    return usageErrorStatus;
  }
  printMade(out, folder.string(), commandWord(invokedAs), starterFiles);
  return 0;
}

}  // namespace fivestage
