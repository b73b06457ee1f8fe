#include "shell/Entry.h"

#include <istream>
#include <new>
#include <ostream>
#include <string>

#include "run/Run.h"
#include "trace/ConsoleText.h"

namespace fivestage {
namespace {

// Waits for one key. The output is flushed only when the read will have to
// wait for new input, so the prompt is on screen before the user is asked,
// while a batch run with its input already buffered writes in large blocks.
Key readKey(std::istream& in, TraceWriter& out) {
  if (in.good() && in.rdbuf()->in_avail() <= 0) out.flush();
  const int key = in.get();
  if (key == std::istream::traits_type::eof()) return Key::EndOfInput;
  return key == '\n' ? Key::Newline : Key::Other;
}

// One cycle per key: the prompt, the key, the cycle's trace. Once the input
// has ended, the cycles run on without waiting, up to a limit.
int stepByKeys(std::istream& in, Run& run, std::int64_t endOfInputLimit) {
  TraceWriter& out = *run.console();
  std::int64_t endOfInputPrompts = 0;
  RunEnd state = RunEnd::Running;
  while (state == RunEnd::Running) {
    run.prompt();
    const Key key = readKey(in, out);
    if (key == Key::EndOfInput && ++endOfInputPrompts > endOfInputLimit) {
      out << "\n Input ended: the program did not finish within " << endOfInputLimit << " cycles \n";
      return 1;
    }
    state = run.cycle(key);
  }
  return run.core().outcome().exitStatus;
}

int runDialogue(std::istream& in, std::ostream& out, const RunSetup& setup, std::int64_t endOfInputLimit) {
  Opening opening = openInputs(setup.inputs, out);
  if (!opening.program) return opening.failure.exitStatus;

  std::int32_t choice = 0;
  out << console::choicePrompt;
  out.flush();
  // What follows the number on its line stays unread: the first step prompt
  // reads the newline, so cycle 1 follows the choice without a key press.
  // A failed read leaves choice 0 and the input failed for good.
  in >> choice;
  out << console::afterChoice;

  if (choice == 2) {
    printLoadedData(out, *opening.program);
    return 0;
  }
  // The trace is written through its own buffer, handed on to `out` before
  // every wait for a key and at the end.
  Run run(std::move(*opening.program), setup, &out);
  return stepByKeys(in, run, endOfInputLimit);
}

}  // namespace

int runFivestage(std::istream& in, std::ostream& out, const InputFiles& inputs, std::int64_t endOfInputLimit,
                 MachineOptions machine) {
  int status = 0;
  try {
    status = runDialogue(in, out, {inputs, machine}, endOfInputLimit);
  } catch (const std::bad_alloc&) {
    out << " Not enough memory to hold the program and its data \n";
    status = 1;
  }
  out.flush();
  return status;
}

}  // namespace fivestage
