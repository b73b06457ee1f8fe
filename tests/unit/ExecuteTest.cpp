#include <gtest/gtest.h>

#include <string>

#include "stages/ExecuteUnit.h"
#include "tests/support/CapturedTrace.h"
#include "tests/support/EventLog.h"
#include "trace/ConsoleTrace.h"

namespace fivestage {
namespace {

using enum AluOperation;

struct AluCase {
  AluOperation operation;
  Word input1, input2, result;
  bool zero;
};

TEST(Alu, ComputesWithWrapAroundAndLogicalAndOr) {
  const AluCase cases[] = {
      {Add, 5, 7, 12, false},
      {Add, 2147483647, 1, -2147483647 - 1, false},  // wraps, no overflow report
      {Add, -1, -1, -2, false},
      {Sub, 9, 9, 0, false},  // Zero is inverted: off when equal
      {Sub, 9, 4, 5, true},   // and on when they differ
      {Sub, -2147483647 - 1, 1, 2147483647, true},
      {And, 6, 3, 1, false},  // logical, not bitwise
      {And, 6, 0, 0, false},
      {Or, 0, 0, 0, false},
      {Or, 0, -4, 1, false},
  };
  for (const AluCase& c : cases) {
    testing::EventLog log;
    const Datapath datapath(MachineState(), InputFolder(""), &log);
    bool zero = false;
    EXPECT_EQ(ExecuteUnit().alu(datapath, c.input1, c.input2, c.operation, zero), c.result)
        << static_cast<int>(c.operation) << ": " << c.input1 << ", " << c.input2;
    EXPECT_EQ(zero, c.zero);
    const auto computed = log.all<AluComputed>();
    ASSERT_EQ(computed.size(), 1U);
    EXPECT_EQ(computed[0].result, c.result);
    EXPECT_EQ(computed[0].zero, c.zero);
  }
}

TEST(Alu, OnlySubChangesZero) {
  const Datapath datapath(MachineState(), InputFolder(""), nullptr);
  for (AluOperation operation : {Add, And, Or}) {
    bool zero = true;
    ExecuteUnit().alu(datapath, 1, 2, operation, zero);
    EXPECT_TRUE(zero) << static_cast<int>(operation);
  }
}

// The Execute lines the console shows for the ALU's inputs, operation and gate.
TEST(ExecuteTrace, ShowsInputsOperationAndGate) {
  testing::CapturedTrace out;
  ConsoleTrace trace(out);
  const Datapath datapath(MachineState(), InputFolder(""), &trace);
  const ExecuteUnit execute;
  EXPECT_EQ(execute.aluSrcMux(datapath, 4, 9, AluSource::RegisterB), 4);
  EXPECT_EQ(execute.aluSrcMux(datapath, 4, 9, std::nullopt), 9);  // j's indifferent select takes imm
  bool zero = false;
  EXPECT_EQ(execute.alu(datapath, 12, 2, Sub, zero), 10);
  EXPECT_TRUE(execute.mux3Gate(datapath, false, false, std::nullopt));
  EXPECT_EQ(out.str(),
            "\t Alu input 2 :  \n\t Alu src     : 0\n\t D.B         : 4\n\n"
            "\t Alu input 2 :  \n\t Alu src     : -1\n\t D.Imm       : 9\n\n"
            "\t Alu Operation : Sub \n\t Operants      : \n\t input 1       : 12\n"
            "\t input 2       : 2\n\t Result        : 10\n\n"
            "\t To Mux3 Gate     : \n\t Input 1 (PCrsrc) : 0\n\t Input 2 (Zero)   : 0\n"
            "\t Input 3 (Branch) : indifferent \n\t Result           : 1\n\n");
}

struct GateCase {
  bool pcsrc, zero;
  std::optional<BranchKind> branch;
  bool passed;
};

TEST(Mux3Gate, BeqPassesOnEqualBnePassesOnDifferentOthersAlways) {
  using enum BranchKind;
  const GateCase cases[] = {
      {true, false, IfEqual, true},   {true, true, IfEqual, false},     {false, false, IfEqual, false},
      {true, true, IfNotEqual, true}, {true, false, IfNotEqual, false}, {false, true, IfNotEqual, false},
      {true, true, Jump, true},       {true, false, Jump, true},        {false, false, std::nullopt, true},
  };
  const Datapath datapath(MachineState(), InputFolder(""), nullptr);
  for (const GateCase& c : cases) {
    EXPECT_EQ(ExecuteUnit().mux3Gate(datapath, c.pcsrc, c.zero, c.branch), c.passed)
        << c.pcsrc << " " << c.zero << " " << onBus(c.branch);
  }
}

TEST(PcMux, OnlyAPassedGateChangesTheProgramCounter) {
  const ExecuteUnit execute;
  // The multiplexers put their outputs into what the caller keeps.
  const auto mux3 = [&](const Datapath& datapath, InstructionIndex pc, std::optional<InstructionIndex> label,
                        bool gate) {
    std::optional<InstructionIndex> selected = 99;
    execute.mux3(datapath, pc, label, gate, selected);
    return selected;
  };
  const auto pcMux = [&](const Datapath& datapath, InstructionIndex pc, std::optional<InstructionIndex> selected,
                         bool select, bool gate) {
    std::optional<InstructionIndex> newPc = 99;
    execute.pcMux(datapath, pc, selected, select, gate, newPc);
    return newPc;
  };

  testing::CapturedTrace out;
  ConsoleTrace trace(out);
  const Datapath datapath(MachineState(), InputFolder(""), &trace);
  EXPECT_EQ(mux3(datapath, 3, 8, true), 8);
  EXPECT_EQ(mux3(datapath, 3, 8, false), 3);
  EXPECT_EQ(mux3(datapath, 3, std::nullopt, true), std::nullopt);  // L0: no target
  EXPECT_EQ(out.str(), "\t Mux3 Signal  : 8\n\n\t Mux3  : 3\n\n\t Mux3 Signal  : -1\n\n");

  testing::CapturedTrace pc;
  ConsoleTrace pcTrace(pc);
  const Datapath pcDatapath(MachineState(), InputFolder(""), &pcTrace);
  EXPECT_EQ(pcMux(pcDatapath, 3, 8, false, true), std::nullopt);  // no branch: Mux3 output unused
  EXPECT_EQ(pcMux(pcDatapath, 3, 8, true, true), 8);              // taken
  EXPECT_EQ(pcMux(pcDatapath, 3, 3, true, false), std::nullopt);  // not taken: fetch goes on in order
  EXPECT_EQ(pcMux(pcDatapath, 3, 3, true, true), 3);              // taken branch to itself
  EXPECT_EQ(pc.str(),
            "\t PC    : 3\n\t PcSel : 0\n\n\t PC  : 8\n\t PcSel : 1\n\n"
            "\t PC  : 3\n\t PcSel : 1\n\n\t PC  : 3\n\t PcSel : 1\n\n");
}

}  // namespace
}  // namespace fivestage
