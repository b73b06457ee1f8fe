#include <gtest/gtest.h>

#include <string>

#include "stages/ExecuteUnit.h"
#include "tests/support/CapturedTrace.h"

namespace fivestage {
namespace {

struct AluCase {
  std::int32_t operation, input1, input2, result, zero;
};

TEST(Alu, ComputesWithWrapAroundAndLogicalAndOr) {
  const AluCase cases[] = {
      {0, 5, 7, 12, 0},
      {0, 2147483647, 1, -2147483647 - 1, 0},  // wraps, no overflow report
      {0, -1, -1, -2, 0},
      {1, 9, 9, 0, 0},  // Zero is inverted: 0 when equal
      {1, 9, 4, 5, 1},  // and 1 when they differ
      {1, -2147483647 - 1, 1, 2147483647, 1},
      {2, 6, 3, 1, 0},  // logical, not bitwise
      {2, 6, 0, 0, 0},
      {3, 0, 0, 0, 0},
      {3, 0, -4, 1, 0},
  };
  for (const AluCase& c : cases) {
    std::int32_t zero = 0;
    testing::CapturedTrace out;
    EXPECT_EQ(ExecuteUnit().alu(out, c.input1, c.input2, c.operation, zero), c.result)
        << c.operation << ": " << c.input1 << ", " << c.input2;
    EXPECT_EQ(zero, c.zero);
  }
}

TEST(Alu, PrintsTheOperationBlockAndIgnoresUnknownCodes) {
  std::int32_t zero = 7;
  testing::CapturedTrace out;
  EXPECT_EQ(ExecuteUnit().alu(out, 12, 2, 1, zero), 10);
  EXPECT_EQ(out.str(),
            "\t Alu Operation : Sub \n\t Operants      : \n\t input 1       : 12\n"
            "\t input 2       : 2\n\t Result        : 10\n\n");
  testing::CapturedTrace silent;
  zero = 7;
  EXPECT_EQ(ExecuteUnit().alu(silent, 1, 1, -1, zero), -1);
  EXPECT_EQ(silent.str(), "");
  EXPECT_EQ(zero, 7);
}

TEST(AluSrcMux, ChoosesBOnlyForSelectZero) {
  testing::CapturedTrace out;
  EXPECT_EQ(ExecuteUnit().aluSrcMux(out, 4, 9, 0), 4);
  EXPECT_EQ(ExecuteUnit().aluSrcMux(out, 4, 9, -1), 9);
  EXPECT_EQ(out.str(),
            "\t Alu input 2 :  \n\t Alu src     : 0\n\t D.B         : 4\n\n"
            "\t Alu input 2 :  \n\t Alu src     : -1\n\t D.Imm       : 9\n\n");
}

struct GateCase {
  std::int32_t pcsrc, zero, branch, result;
};

TEST(Mux3Gate, BeqPassesOnEqualBnePassesOnDifferentOthersAlways) {
  const GateCase cases[] = {
      {1, 0, 0, 1},  {1, 1, 0, 0},    {0, 0, 0, 0},  // beq
      {1, 1, 1, 1},  {1, 0, 1, 0},    {0, 1, 1, 0},  // bne
      {1, 1, 2, 1},  {1, 0, 2, 1},                   // j
      {0, 0, -1, 1}, {-1, -1, -1, 1}, {0, 0, 7, 1},  // no branch
  };
  for (const GateCase& c : cases) {
    testing::CapturedTrace out;
    EXPECT_EQ(ExecuteUnit().mux3Gate(out, c.pcsrc, c.zero, c.branch), c.result)
        << c.pcsrc << " " << c.zero << " " << c.branch;
  }
  testing::CapturedTrace out;
  ExecuteUnit().mux3Gate(out, 0, 0, -1);
  EXPECT_EQ(out.str(),
            "\t To Mux3 Gate     : \n\t Input 1 (PCrsrc) : 0\n\t Input 2 (Zero)   : 0\n"
            "\t Input 3 (Branch) : indifferent \n\t Result           : 1\n\n");
}

TEST(PcMux, OnlyAPassedGateChangesTheProgramCounter) {
  const ExecuteUnit execute;
  testing::CapturedTrace out;
  EXPECT_EQ(execute.mux3(out, 3, 8, 1), 8);
  EXPECT_EQ(execute.mux3(out, 3, 8, 0), 3);
  EXPECT_EQ(out.str(), "\t Mux3 Signal  : 8\n\n\t Mux3  : 3\n\n");

  testing::CapturedTrace pc;
  EXPECT_EQ(execute.pcMux(pc, 3, 8, 0, 1), -1);  // no branch: Mux3 output unused
  EXPECT_EQ(execute.pcMux(pc, 3, 8, 1, 1), 8);   // taken
  EXPECT_EQ(execute.pcMux(pc, 3, 3, 1, 0), -1);  // not taken: fetch goes on in order
  EXPECT_EQ(execute.pcMux(pc, 3, 3, 1, 1), 3);   // taken branch to itself
  EXPECT_EQ(pc.str(),
            "\t PC    : 3\n\t PcSel : 0\n\n\t PC  : 8\n\t PcSel : 1\n\n"
            "\t PC  : 3\n\t PcSel : 1\n\n\t PC  : 3\n\t PcSel : 1\n\n");
}

}  // namespace
}  // namespace fivestage
