#include "energy/Energy.h"

#include <array>
#include <charconv>
#include <cstdint>

#include "common/FatalError.h"
#include "common/LineFile.h"
#include "common/NumberText.h"

namespace fivestage {

const char* decodeEnergyFile(std::string_view opcode) {
  struct Entry {
    std::string_view opcode;
    const char* path;
  };
  static constexpr std::array<Entry, 10> files{{
      {"add", "EnergyConsumptionInput/Decode/add/energy.txt"},
      {"addi", "EnergyConsumptionInput/Decode/addi/energy.txt"},
      {"and", "EnergyConsumptionInput/Decode/and/energy.txt"},
      {"beq", "EnergyConsumptionInput/Decode/beq/energy.txt"},
      {"bne", "EnergyConsumptionInput/Decode/bne/energy.txt"},
      {"j", "EnergyConsumptionInput/Decode/j/energy.txt"},
      {"lw", "EnergyConsumptionInput/Decode/lw/energy.txt"},
      {"or", "EnergyConsumptionInput/Decode/or/energy.txt"},
      {"sub", "EnergyConsumptionInput/Decode/sub/energy.txt"},
      {"sw", "EnergyConsumptionInput/Decode/sw/energy.txt"},
  }};
  for (const Entry& entry : files) {
    if (entry.opcode == opcode) return entry.path;
  }
  return nullptr;
}

void chargeEnergy(TraceWriter& out, const char* path) {
  // One reader for the whole run: the readings come several per cycle.
  static LineFile file;
  if (path == nullptr || !file.open(path)) throw FatalError(" File could not be loaded \n");
  std::string_view line;
  while (file.nextLine(line)) energyTotal += atoiSaturated(line);
  out << "\n Energy Consumed until now : " << formatEnergy(energyTotal) << "\n\n";
}

std::string formatEnergy(double total) {
  // Sums of whole numbers below one million print in full: the common case,
  // written without the general floating-point conversion.
  if (total > -1e6 && total < 1e6 && total == static_cast<double>(static_cast<std::int64_t>(total))) {
    return std::to_string(static_cast<std::int64_t>(total));
  }
  std::array<char, 32> text{};
  // General notation with six significant digits, as printf's %g.
  const auto end = std::to_chars(text.data(), text.data() + text.size(), total, std::chars_format::general, 6).ptr;
  std::string result(text.data(), end);
  // It writes at least two exponent digits; the trace shows at least three.
  const std::size_t e = result.find('e');
  if (e != std::string::npos) {
    const std::size_t digits = result.size() - (e + 2);
    if (digits < 3) result.insert(e + 2, 3 - digits, '0');
  }
  return result;
}

}  // namespace fivestage
