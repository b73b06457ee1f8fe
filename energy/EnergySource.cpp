#include "energy/EnergySource.h"

#include <algorithm>

#include "common/FatalError.h"
#include "common/NumberText.h"

namespace fivestage {
namespace {

const std::string tree = "EnergyConsumptionInput/";

}  // namespace

std::optional<std::string> energyFilePath(const EnergyFile& file) {
  if (file.idle) return tree + std::string(stageName(file.stage)) + "/idle.txt";
  if (file.stage != Stage::Decode) return tree + std::string(stageName(file.stage)) + "/energy.txt";
  if (!file.opcode) return std::nullopt;
  const std::optional<std::string_view> folder = opcodeRow(*file.opcode).decodeEnergyFolder;
  if (!folder) return std::nullopt;
  return tree + std::string(stageName(Stage::Decode)) + "/" + std::string(*folder) + "/energy.txt";
}

EnergySource::EnergySource(const InputFiles& inputs, EnergyReading reading) : reading_(reading) {
  // Decode's figures are by opcode: its stage entry stays missing.
  for (const Stage stage : allStages) {
    if (const std::optional<std::string> path = energyFilePath({stage, {}})) {
      stageFiles_[static_cast<std::size_t>(stage)] = inputs.find(*path);
    }
  }
  for (const OpcodeRow& row : instructionSet()) {
    if (const std::optional<std::string> path = energyFilePath({Stage::Decode, row.opcode})) {
      decodeFiles_[static_cast<std::size_t>(row.opcode)] = inputs.find(*path);
    }
  }
  // Every stage's idle file, Decode's included: it applies whatever the opcode.
  for (const Stage stage : allStages) {
    const auto at = static_cast<std::size_t>(stage);
    idleFiles_[at] = inputs.find(*energyFilePath({stage, {}, true}));
    hasIdle_[at] = idleFiles_[at].present();
  }
}

const InputFile& EnergySource::found(const EnergyFile& file) const {
  if (file.idle) return idleFiles_[static_cast<std::size_t>(file.stage)];
  if (file.stage != Stage::Decode) return stageFiles_[static_cast<std::size_t>(file.stage)];
  return file.opcode ? decodeFiles_[static_cast<std::size_t>(*file.opcode)] : missing_;
}

std::int64_t EnergySource::addLineByLine(const EnergyFile& file, double& total) {
  KeptFigures* kept = reading_ == EnergyReading::OncePerRun ? &kept_[slotOf(file)] : nullptr;
  std::int64_t sum = 0;
  const auto add = [&](std::int32_t value) {
    total += value;
    sum += value;
  };
  if (kept != nullptr && kept->read) {
    for (const std::int32_t value : kept->values) add(value);
    return sum;
  }
  if (!found(file).openIn(reader_.file)) throw FatalError(" File could not be loaded \n");
  std::string_view line;
  std::int64_t magnitude = 0;  // the sum of the values' sizes
  while (reader_.file.nextLine(line)) {
    const std::int32_t value = atoiSaturated(line);
    add(value);
    if (kept != nullptr) {
      kept->values.push_back(value);
      magnitude += value < 0 ? -std::int64_t{value} : value;
    }
  }
  if (kept != nullptr) {
    constexpr double exactWholeNumbers = 9007199254740992.0;  // 2^53
    kept->sum = sum;
    kept->exactUpTo = exactWholeNumbers - static_cast<double>(magnitude);
    kept->read = true;
  }
  return sum;
}

std::vector<std::string> energyFilePaths() {
  std::vector<std::string> decode;
  for (const OpcodeRow& row : instructionSet()) {
    if (std::optional<std::string> path = energyFilePath({Stage::Decode, row.opcode}))
      decode.push_back(std::move(*path));
  }
  std::sort(decode.begin(), decode.end());
  std::vector<std::string> paths;
  for (const Stage stage : allStages) {
    if (stage == Stage::Decode) {
      paths.insert(paths.end(), decode.begin(), decode.end());
    } else {
      paths.push_back(*energyFilePath({stage, {}}));
    }
  }
  return paths;
}

std::vector<std::string> idleFilePaths() {
  std::vector<std::string> paths;
  for (const Stage stage : allStages) paths.push_back(*energyFilePath({stage, {}, true}));
  return paths;
}

}  // namespace fivestage
