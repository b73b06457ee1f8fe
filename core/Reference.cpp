#include "core/Reference.h"

#include <optional>
#include <utility>

#include "common/FatalError.h"
#include "stages/Bounds.h"

namespace fivestage {
namespace {

// Add and Sub wrap around in 32 bits; And and Or are logical, 0 or 1.
Word aluResult(AluOperation operation, Word input1, Word input2) {
  const auto x = static_cast<std::uint32_t>(input1);
  const auto y = static_cast<std::uint32_t>(input2);
  switch (operation) {
    case AluOperation::Add: return static_cast<Word>(x + y);
    case AluOperation::Sub: return static_cast<Word>(x - y);
    case AluOperation::And: return input1 != 0 && input2 != 0 ? 1 : 0;
    case AluOperation::Or: return input1 != 0 || input2 != 0 ? 1 : 0;
  }
  return 0;
}

// A source register's value; an instruction without the register reads what
// the bus carries for nothing, -1.
Word sourceValue(const MachineState& state, std::optional<RegisterNumber> number) {
  return number ? registerAt(state, number) : onBus(number);
}

// The opcode's control signals. An opcode without any (xor, nop, or a text
// such as ori that the parser read by its prefix) means nothing in this
// machine, whose pipeline ends the run when decoding it.
const ControlSignals& controlSignalsOf(const Instruction& instruction, InstructionIndex index) {
  const std::optional<Opcode> opcode = instruction.decoded();
  if (opcode && opcodeRow(*opcode).control) return *opcodeRow(*opcode).control;
  throw FatalError(" Instruction E(" + std::to_string(index) + ") " + instruction.opcode() +
                   " has no control signals: it means nothing in this machine \n");
}

// A load reads the word at the ALU's result, a store writes rt's value there;
// a load is tested first, as in the Memory stage. Returns the loaded word.
std::optional<Word> accessMemory(MachineState& state, const ControlSignals& signals, Address address, Word rtValue) {
  if (signals.memread) return memoryWordAt(state, address);
  if (signals.memwrite) memoryWordAt(state, address) = rtValue;
  return std::nullopt;
}

// rd takes the ALU's result or the loaded word, as MemToReg selects.
void writeBack(MachineState& state, const ControlSignals& signals, std::optional<RegisterNumber> rd, Word aluOut,
               std::optional<Word> loadedWord) {
  if (!signals.regwrite) return;
  registerAt(state, rd) = signals.memtoreg == WriteBackSource::AluResult ? aluOut : onBus(loadedWord);
}

// beq is taken when its inputs are equal, bne when they differ, j always.
bool isTaken(const ControlSignals& signals, Word input1, Word input2) {
  if (!signals.pcsel) return false;
  if (signals.branch == BranchKind::IfEqual) return input1 == input2;
  if (signals.branch == BranchKind::IfNotEqual) return input1 != input2;
  return true;
}

// Executes instruction `index` as the stages would, one after the other, and
// returns the index of the instruction to execute next.
InstructionIndex executeInstruction(MachineState& state, InstructionIndex index) {
  const Instruction& instruction = state.instructions[static_cast<std::size_t>(index)];
  // Decode reads the source registers before it decodes the opcode.
  const Word a = sourceValue(state, instruction.getRs());
  const Word b = sourceValue(state, instruction.getRt());
  const ControlSignals& signals = controlSignalsOf(instruction, index);

  // Only a select of RegisterB takes rt's value; the indifferent select of j takes imm.
  const Word input2 = signals.alusrc == AluSource::RegisterB ? b : onBus(instruction.getImm());
  const Word aluOut = aluResult(signals.aluop, a, input2);
  const std::optional<Word> loadedWord = accessMemory(state, signals, aluOut, b);
  writeBack(state, signals, instruction.getRd(), aluOut, loadedWord);

  // A taken branch without a label (L0) has nowhere to go: execution goes on in order.
  const std::optional<InstructionIndex> label = instruction.getLabel();
  return isTaken(signals, a, input2) && label ? *label : index + 1;
}

bool isProgramEnd(const MachineState& state, InstructionIndex index) {
  return index >= 0 && static_cast<std::size_t>(index) == state.instructions.size();
}

}  // namespace

ReferenceRun runReference(const MachineState& machine, ReferenceLimits limits) {
  MachineState state = machine;
  ReferenceRun run;
  try {
    for (InstructionIndex index = 0; !isProgramEnd(state, index);) {
      checkInstructionExists(state, index);
      if (run.executed == limits.maxExecuted) {
        run.end = RunEnd::Stopped;
        break;
      }
      const InstructionIndex next = executeInstruction(state, index);
      ++run.executed;
      if (limits.keepPath) run.path.push_back(index);
      index = next;
    }
  } catch (const FatalError& error) {
    run.end = RunEnd::Failed;
    run.message = error.what();
  }
  run.registers = std::move(state.registers);
  run.memory = std::move(state.memory);
  return run;
}

}  // namespace fivestage
