#include "loader/InputFiles.h"

namespace fivestage {

InputFile InputFile::onDisk(std::string path) {
  InputFile file;
  file.where_.emplace<std::string>(std::move(path));
  return file;
}

InputFile InputFile::inMemory(std::string_view text) {
  InputFile file;
  file.where_.emplace<std::string_view>(text);
  return file;
}

bool InputFile::openIn(LineFile& reader) const {
  if (const auto* path = std::get_if<std::string>(&where_)) return reader.open(path->c_str());
  if (const auto* text = std::get_if<std::string_view>(&where_)) {
    reader.openText(*text);
    return true;
  }
  return false;
}

bool InputFile::present() const {
  if (const auto* path = std::get_if<std::string>(&where_)) {
    std::error_code error;
    return std::filesystem::exists(*path, error);
  }
  return std::holds_alternative<std::string_view>(where_);
}

InputFile InputFolder::find(std::string_view path) const { return InputFile::onDisk((folder_ / path).string()); }

std::filesystem::path InputFolder::name() const {
  return folder_.empty() || folder_ == "." ? std::filesystem::current_path() : folder_;
}

InputFile InputTexts::find(std::string_view path) const {
  const auto text = texts_.find(path);
  return text != texts_.end() ? InputFile::inMemory(text->second) : InputFile();
}

}  // namespace fivestage
