#include <gtest/gtest.h>

#include <string>

#include "common/FatalError.h"
#include "stages/DecodeUnit.h"
#include "tests/support/CapturedTrace.h"
#include "tests/support/EventLog.h"
#include "trace/ConsoleTrace.h"

namespace fivestage {
namespace {

constexpr std::nullopt_t none = std::nullopt;

struct HazardCase {
  const char* name;
  Instruction instruction;
  std::optional<RegisterNumber> eRg;
  bool eRegWrite;
  std::optional<RegisterNumber> mRg;
  bool mRegWrite;
  bool stall;
  std::optional<RegisterNumber> blocked;     // when stalling
  std::optional<InstructionIndex> waitsFor;  // E holds instruction 7, M instruction 6
};

// Decodes `instruction` with the given destination registers and write
// flags in the Execute and Memory pipeline registers.
Datapath decodingWith(const HazardCase& c, RunObserver* observer) {
  MachineState state;
  state.instructions = {c.instruction};
  Datapath datapath(state, InputFolder(""), observer);
  datapath.ExecuteLatch.rg = c.eRg;
  datapath.ExecuteLatch.regWrite = c.eRegWrite;
  datapath.ExecuteLatch.writer = InstructionTag{7, 70};
  datapath.MemoryLatch.rg = c.mRg;
  datapath.MemoryLatch.regWrite = c.mRegWrite;
  datapath.MemoryLatch.writer = InstructionTag{6, 60};
  return datapath;
}

TEST(DetectDanger, StallsWhenAnyRowHoldsWithItsWriteFlagSet) {
  const Instruction add435("add", 3, 5, 4, none, none);
  const Instruction add403("add", 0, 3, 4, none, none);
  const Instruction jump("j", none, none, none, none, 2);
  const HazardCase cases[] = {
      {"rs written by Execute", add435, 3, true, 9, true, true, 3, 7},
      {"rt written by Execute", Instruction("add", 5, 3, 4, none, none), 3, true, 9, false, true, 3, 7},
      {"rs written by Memory", add435, 9, true, 3, true, true, 3, 6},
      {"rt written by Memory", Instruction("sub", 7, 3, 4, none, none), 9, true, 3, true, true, 3, 6},
      // A matching row with its flag off must not hide a later row that holds.
      {"masked by start-up zeros in Memory", add403, 3, true, 0, false, true, 3, 7},
      {"first holding row names its register", Instruction("add", 6, 7, 4, none, none), 7, true, 6, true, true, 6, 6},
      {"write flag off", add435, 3, false, 5, false, false, none, none},
      {"jump without registers", jump, none, false, none, false, false, none, none},
      // An absent register matches an absent destination, as -1 matched -1.
      {"absent register written", jump, none, true, 4, false, true, none, 7},
      {"register 0 is compared like any other", Instruction("addi", 0, none, 2, 5, none), 0, true, 9, false, true, 0,
       7},
      {"no register matches", add435, 1, true, 2, true, false, none, none},
  };
  for (const HazardCase& c : cases) {
    testing::EventLog log;
    const Datapath datapath = decodingWith(c, &log);
    const HazardVerdict verdict = DecodeUnit().detectDanger(datapath);
    EXPECT_EQ(verdict.stall, c.stall) << c.name;
    EXPECT_EQ(verdict.blockedRegister, c.blocked) << c.name;
    // The instruction waited for is the one that wrote the matching pipeline register.
    const auto writer = c.waitsFor ? std::optional(InstructionTag{*c.waitsFor, *c.waitsFor * 10}) : std::nullopt;
    EXPECT_EQ(verdict.waitsFor, writer) << c.name;
    const auto checks = log.all<HazardChecked>();
    ASSERT_EQ(checks.size(), 1U) << c.name;
    EXPECT_EQ(checks[0].stall, c.stall) << c.name;
    EXPECT_EQ(checks[0].blockedRegister, c.blocked) << c.name;
  }
}

TEST(DetectDanger, TheConsoleShowsThirteenLinesAndTheVerdict) {
  const HazardCase c{"", Instruction("beq", 2, none, none, none, 0), 7, true, none, false, false, none, none};
  testing::CapturedTrace out;
  ConsoleTrace trace(out);
  DecodeUnit().detectDanger(decodingWith(c, &trace));
  EXPECT_EQ(out.str(),
            "\t Danger Detection Unit : \n\n"
            "\t E.rg = $7\n\t R1 = $2\n\t E.Regwrite = 1\n\n"
            "\t E.rg = $7\n\t R2 = $-1\n\t E.Regwrite = 1\n\n"
            "\t M.rg = $-1\n\t R1 = $2\n\t M.Regwrite = 0\n\n"
            "\t M.rg = $-1\n\t R2 = $-1\n\t M.Regwrite = 0\n\n"
            "\t No Danger Detected \n\n");

  const HazardCase stall{"", Instruction("add", 1, 3, 4, none, none), 3, true, 0, false, true, 3, 7};
  testing::CapturedTrace stalled;
  ConsoleTrace stalledTrace(stalled);
  DecodeUnit().detectDanger(decodingWith(stall, &stalledTrace));
  EXPECT_TRUE(stalled.str().ends_with("\t Register $3 cant be readen \n\t Stall Triggering ... \n\n"));
}

TEST(ReadRegisterFile, ReadsOperandsAndRefusesRegistersOutsideTheFile) {
  MachineState state;
  state.sourceLines = {"x"};
  state.instructionLines = {0};
  state.registers = {0, -1, 20};
  state.instructions = {Instruction("add", 1, 2, 0, none, none)};
  testing::CapturedTrace out;
  ConsoleTrace trace(out);
  Datapath datapath(state, InputFolder(""), &trace);
  DecodeUnit().readRegisterFile(datapath);
  EXPECT_EQ(out.str(),
            "\t Reading Register File : \n\n\t D.Pc    : 0\n"
            "\t D.a     : indifferent \n"  // register 1 holds -1
            "\t D.b     : $2 = 20\n\t D.imm   : indifferent \n\t D.Label : indifferent \n\n");
  EXPECT_EQ(datapath.DecodeLatch.a, -1);
  EXPECT_EQ(datapath.DecodeLatch.b, 20);
  EXPECT_EQ(datapath.DecodeLatch.Rg, 0);

  for (std::int32_t bad : {3, -2, 2147483647}) {
    datapath.state.instructions = {Instruction("add", 2, bad, 0, none, none)};
    try {
      DecodeUnit().readRegisterFile(datapath);
      ADD_FAILURE() << "register " << bad << " was read";
    } catch (const FatalError& error) {
      EXPECT_EQ(std::string(error.what()),
                " Register $" + std::to_string(bad) + " does not exist: register file size is 3 \n");
    }
  }
}

}  // namespace
}  // namespace fivestage
