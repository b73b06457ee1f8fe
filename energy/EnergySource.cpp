#include "energy/EnergySource.h"

#include "common/FatalError.h"
#include "common/NumberText.h"

namespace fivestage {
namespace {

const std::filesystem::path tree = "EnergyConsumptionInput";

}  // namespace

EnergySource::EnergySource(const std::filesystem::path& folder) {
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

std::int64_t EnergySource::addTo(const EnergyFile& file, double& total) {
  const std::string* path = pathString(file);
  if (path == nullptr || !reader_.open(path->c_str())) throw FatalError(" File could not be loaded \n");
  std::int64_t sum = 0;
  std::string_view line;
  while (reader_.nextLine(line)) {
    const std::int32_t value = atoiSaturated(line);
    total += value;
    sum += value;
  }
  return sum;
}

}  // namespace fivestage
