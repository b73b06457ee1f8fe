#include "energy/EnergySource.h"

#include <algorithm>

#include "common/FatalError.h"
#include "common/NumberText.h"

namespace fivestage {
namespace {

const std::filesystem::path tree = "EnergyConsumptionInput";

}  // namespace

EnergySource::EnergySource(const std::filesystem::path& folder, EnergyReading reading) : reading_(reading) {
  for (Stage stage : allStages) {
    stagePaths_[static_cast<std::size_t>(stage)] = (folder / tree / stageName(stage) / "energy.txt").string();
  }
  for (const OpcodeRow& row : instructionSet()) {
    if (row.decodeEnergyFolder) {
      decodePaths_[static_cast<std::size_t>(row.opcode)] =
          (folder / tree / stageName(Stage::Decode) / *row.decodeEnergyFolder / "energy.txt").string();
    }
  }
}

const std::string* EnergySource::pathString(const EnergyFile& file) const {
  if (file.stage != Stage::Decode) return &stagePaths_[static_cast<std::size_t>(file.stage)];
  if (!file.opcode) return nullptr;
  const std::string& path = decodePaths_[static_cast<std::size_t>(*file.opcode)];
  return path.empty() ? nullptr : &path;
}

std::optional<std::filesystem::path> EnergySource::pathOf(const EnergyFile& file) const {
  const std::string* path = pathString(file);
  if (path == nullptr) return std::nullopt;
  return std::filesystem::path(*path);
}

std::int64_t EnergySource::addLineByLine(const EnergyFile& file, double& total) {
  KeptFigures* kept = keptFigures(file);
  std::int64_t sum = 0;
  const auto add = [&](std::int32_t value) {
    total += value;
    sum += value;
  };
  if (kept != nullptr && kept->read) {
    for (const std::int32_t value : kept->values) add(value);
    return sum;
  }
  const std::string* path = pathString(file);
  if (path == nullptr || !reader_.open(path->c_str())) throw FatalError(" File could not be loaded \n");
  std::string_view line;
  while (reader_.nextLine(line)) {
    const std::int32_t value = atoiSaturated(line);
    add(value);
    if (kept != nullptr) {
      kept->values.push_back(value);
      kept->magnitude += value < 0 ? -std::int64_t{value} : value;
    }
  }
  if (kept != nullptr) {
    kept->sum = sum;
    kept->read = true;
  }
  return sum;
}

std::vector<std::string> energyFilePaths() {
  std::vector<std::string> decode;
  for (const OpcodeRow& row : instructionSet()) {
    if (row.decodeEnergyFolder) {
      decode.push_back((tree / stageName(Stage::Decode) / *row.decodeEnergyFolder / "energy.txt").generic_string());
    }
  }
  std::sort(decode.begin(), decode.end());
  std::vector<std::string> paths;
  for (const Stage stage : allStages) {
    if (stage == Stage::Decode) {
      paths.insert(paths.end(), decode.begin(), decode.end());
    } else {
      paths.push_back((tree / stageName(stage) / "energy.txt").generic_string());
    }
  }
  return paths;
}

}  // namespace fivestage
