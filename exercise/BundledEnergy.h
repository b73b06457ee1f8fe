#pragma once

#include <span>
#include <string_view>
#include <utility>

namespace fivestage::exercise {

// The energy figures of examples/basic, compiled in: each file's path inside
// an input folder (EnergyConsumptionInput/...), with its text. Exercises that
// give no figures of their own are run with these.
using EnergyFigures = std::pair<std::string_view, std::string_view>;
extern const std::span<const EnergyFigures> bundledEnergyFiles;

}  // namespace fivestage::exercise
