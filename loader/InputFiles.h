#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "common/LineFile.h"

namespace fivestage {

// One file of a run's inputs as found: a path on disk, opened afresh at
// every reading so that an edit counts from the next one, or a text held in
// memory. A file found in neither place is missing.
class InputFile {
 public:
  InputFile() = default;  // missing
  static InputFile onDisk(std::string path);
  static InputFile inMemory(std::string_view text);

  // Starts `reader` on the file's lines. False when the file is missing or
  // cannot be opened (a folder in its place included).
  bool openIn(LineFile& reader) const;
  // Whether the file is there at all: on disk under its path (readable or
  // not, a folder included), or as a text.
  bool present() const;

 private:
  std::variant<std::monostate, std::string, std::string_view> where_;
};

// The files a run reads: src.txt, reg.txt, mem.txt and the energy tree, each
// named by its path inside the input folder with '/' between the parts
// ("EnergyConsumptionInput/Decode/add/energy.txt"). The loader and the energy
// figures read them alike from either source: a folder on disk or texts in
// memory.
class InputFiles {
 public:
  virtual ~InputFiles() = default;

  virtual InputFile find(std::string_view path) const = 0;
  // How reports name the inputs.
  virtual std::filesystem::path name() const = 0;
};

// The files of a folder on disk, as the console and fivestage-report read them.
class InputFolder final : public InputFiles {
 public:
  explicit InputFolder(std::filesystem::path folder) : folder_(std::move(folder)) {}

  InputFile find(std::string_view path) const override;
  // The working directory by its path, any other folder as given.
  std::filesystem::path name() const override;

 private:
  std::filesystem::path folder_;
};

// Files given as texts: a data set of an exercise, the page's editors. A file
// it has no text for is missing. Runs read the texts in place: they must not
// change while a run that reads them lasts.
class InputTexts final : public InputFiles {
 public:
  explicit InputTexts(std::string name) : name_(std::move(name)) {}

  // Gives the file at `path` the text `text`, in place of any it had.
  void put(std::string path, std::string text) { texts_.insert_or_assign(std::move(path), std::move(text)); }

  InputFile find(std::string_view path) const override;
  std::filesystem::path name() const override { return name_; }

 private:
  std::string name_;
  std::map<std::string, std::string, std::less<>> texts_;
};

}  // namespace fivestage
