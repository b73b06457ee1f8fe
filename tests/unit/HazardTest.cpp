#include <gtest/gtest.h>

#include <string>

#include "common/FatalError.h"
#include "stages/DecodeUnit.h"
#include "stages/Latches.h"
#include "tests/support/CapturedTrace.h"

namespace fivestage {
namespace {

struct HazardCase {
  const char* name;
  Instruction instruction;
  std::int32_t eRg, eRegWrite, mRg, mRegWrite;
  std::int32_t verdict;
  std::string message;  // the verdict's lines at the end of the block
};

const std::string noDanger = "\t No Danger Detected \n\n";
std::string stallOn(int r) {
  return "\t Register $" + std::to_string(r) + " cant be readen \n\t Stall Triggering ... \n\n";
}

TEST(DetectDanger, StallsWhenAnyRowHoldsWithItsWriteFlagSet) {
  const Instruction add435("add", 3, 5, 4, -1, -1);
  const Instruction add403("add", 0, 3, 4, -1, -1);
  const Instruction jump("j", -1, -1, -1, -1, 2);
  const HazardCase cases[] = {
      {"rs written by Execute", add435, 3, 1, 9, 1, 1, stallOn(3)},
      {"rt written by Execute", Instruction("add", 5, 3, 4, -1, -1), 3, 1, 9, 0, 1, stallOn(3)},
      {"rs written by Memory", add435, 9, 1, 3, 1, 1, stallOn(3)},
      {"rt written by Memory", Instruction("sub", 7, 3, 4, -1, -1), 9, 1, 3, 1, 1, stallOn(3)},
      // A matching row with its flag off must not hide a later row that holds.
      {"masked by start-up zeros in Memory", add403, 3, 1, 0, 0, 1, stallOn(3)},
      {"masked by a row with flag -1", add403, 0, -1, 3, 1, 1, stallOn(3)},
      {"first holding row names its register", Instruction("add", 6, 7, 4, -1, -1), 7, 1, 6, 1, 1, stallOn(6)},
      {"write flag off", add435, 3, 0, 5, 0, 0, noDanger},
      {"write flag -1 counts as off", add435, 3, -1, 5, -1, 0, noDanger},
      {"jump without registers", jump, -1, 0, -1, 0, 0, noDanger},
      {"register 0 is compared like any other", Instruction("addi", 0, -1, 2, 5, -1), 0, 1, 9, 0, 1, stallOn(0)},
      {"no register matches", add435, 1, 1, 2, 1, 0, noDanger},
  };
  for (const HazardCase& c : cases) {
    resetLatches();
    MachineState state;
    state.instructions = {c.instruction};
    ExecuteLatch.rg = c.eRg;
    ExecuteLatch.regWrite = c.eRegWrite;
    MemoryLatch.rg = c.mRg;
    MemoryLatch.regWrite = c.mRegWrite;
    testing::CapturedTrace out;
    EXPECT_EQ(DecodeUnit().detectDanger(out, state), c.verdict) << c.name;
    const std::string trace = out.str();
    ASSERT_GE(trace.size(), c.message.size());
    EXPECT_EQ(trace.substr(trace.size() - c.message.size()), c.message) << c.name;
  }
  resetLatches();
}

TEST(DetectDanger, PrintsTheThirteenLines) {
  resetLatches();
  MachineState state;
  state.instructions = {Instruction("beq", 2, -1, -1, -1, 0)};
  ExecuteLatch = {0, 0, 0, 1, 7, 0, 0};
  MemoryLatch = {0, -1, -1, 0, 0};
  testing::CapturedTrace out;
  DecodeUnit().detectDanger(out, state);
  EXPECT_EQ(out.str(),
            "\t Danger Detection Unit : \n\n"
            "\t E.rg = $7\n\t R1 = $2\n\t E.Regwrite = 1\n\n"
            "\t E.rg = $7\n\t R2 = $-1\n\t E.Regwrite = 1\n\n"
            "\t M.rg = $-1\n\t R1 = $2\n\t M.Regwrite = -1\n\n"
            "\t M.rg = $-1\n\t R2 = $-1\n\t M.Regwrite = -1\n\n" +
                noDanger);
  resetLatches();
}

TEST(ReadRegisterFile, ReadsOperandsAndRefusesRegistersOutsideTheFile) {
  resetLatches();
  MachineState state;
  state.sourceLines = {"x"};
  state.instructionLines = {0};
  state.registers = {0, -1, 20};
  state.instructions = {Instruction("add", 1, 2, 0, -1, -1)};
  testing::CapturedTrace out;
  DecodeUnit().readRegisterFile(out, state);
  EXPECT_EQ(out.str(),
            "\t Reading Register File : \n\n\t D.Pc    : 0\n"
            "\t D.a     : indifferent \n"  // register 1 holds -1
            "\t D.b     : $2 = 20\n\t D.imm   : indifferent \n\t D.Label : indifferent \n\n");
  EXPECT_EQ(DecodeLatch.a, -1);
  EXPECT_EQ(DecodeLatch.b, 20);
  EXPECT_EQ(DecodeLatch.Rg, 0);

  for (std::int32_t bad : {3, -2, 2147483647}) {
    state.instructions = {Instruction("add", 2, bad, 0, -1, -1)};
    try {
      testing::CapturedTrace ignored;
      DecodeUnit().readRegisterFile(ignored, state);
      ADD_FAILURE() << "register " << bad << " was read";
    } catch (const FatalError& error) {
      EXPECT_EQ(std::string(error.what()),
                " Register $" + std::to_string(bad) + " does not exist: register file size is 3 \n");
    }
  }
  resetLatches();
}

}  // namespace
}  // namespace fivestage
