#include "record/Meaning.h"

#include "record/Figures.h"

namespace fivestage::report {
namespace {

std::vector<Difference> differences(const std::vector<Word>& machine, const std::vector<Word>& meant) {
  std::vector<Difference> found;
  for (std::size_t i = 0; i < machine.size() && i < meant.size(); ++i) {
    if (machine[i] != meant[i]) found.push_back({static_cast<std::int64_t>(i), machine[i], meant[i]});
  }
  return found;
}

}  // namespace

Meaning meaningOf(const MachineState& final, const RunRecord& record, const ReferenceRun& meant,
                  std::int64_t maxInstructions) {
  Meaning meaning;
  meaning.registers = differences(final.registers, meant.registers);
  meaning.memory = differences(final.memory, meant.memory);
  meaning.matches = meaning.registers.empty() && meaning.memory.empty() && record.end == RunEnd::Completed &&
                    meant.end == RunEnd::Completed;
  if (meaning.matches) return meaning;
  switch (meant.end) {
    case RunEnd::Failed:
      meaning.causes.push_back("the program itself cannot run to its end: " + trimmed(meant.message));
      break;
    case RunEnd::Stopped:
      meaning.causes.push_back("the program itself does not end within " + std::to_string(maxInstructions) +
                               " instructions");
      break;
    case RunEnd::Running:  // a reference run always ends
    case RunEnd::Completed: break;
  }
  if (record.end != RunEnd::Completed) meaning.causes.push_back("the run ended early");
  if (record.behindTakenCount > 0) {
    meaning.causes.push_back("an instruction ran behind a taken branch: this machine does not cancel it");
  }
  return meaning;
}

std::string meaningText(const Meaning& meaning) {
  if (meaning.matches) return "what the program means";
  std::string text = "not what the program means";
  for (std::size_t i = 0; i < meaning.causes.size(); ++i) text += (i == 0 ? ": " : "; ") + meaning.causes[i];
  return text;
}

}  // namespace fivestage::report
