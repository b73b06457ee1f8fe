#include "run/RunSetup.h"

#include <ostream>

#include "common/FatalError.h"
#include "trace/ConsoleText.h"

namespace fivestage {

Opening openInputs(const InputFiles& inputs, std::ostream& log) {
  Opening opening;
  log << console::welcome;
  try {
    opening.program.emplace(log, inputs);
  } catch (const FatalError& error) {
    log << error.what();
    opening.failure = {RunEnd::Failed, error.what(), error.exitStatus()};
  }
  return opening;
}

void answerChoiceToRun(std::ostream& log) { log << console::choicePrompt << console::afterChoice; }

}  // namespace fivestage
