// Fetch, Memory and Write-back, asked through the events they report.
#include <gtest/gtest.h>

#include "common/FatalError.h"
#include "stages/FetchUnit.h"
#include "stages/MemoryUnit.h"
#include "stages/WriteBackUnit.h"
#include "tests/support/EventLog.h"
#include "tests/support/TempDir.h"

namespace fivestage {
namespace {

constexpr std::nullopt_t none = std::nullopt;

// The shared test energy figures: Fetch 5, Execute 20, Mem 30, WriteBack 40.
class StageTest : public ::testing::Test {
 protected:
  StageTest() { dir.addEnergyTree(); }

  // A datapath in its first cycle, in which the stages work.
  Datapath datapathFor(MachineState state) {
    Datapath datapath(std::move(state), InputFolder(dir.path()), &log);
    datapath.beginCycle(CycleStarted{1, 1});
    return datapath;
  }

  std::vector<std::int64_t> charges(Stage stage) const {
    std::vector<std::int64_t> added;
    for (const EnergyCharged& charge : log.all<EnergyCharged>()) {
      if (charge.file.stage == stage) added.push_back(charge.added);
    }
    return added;
  }

  testing::TempDir dir;
  testing::EventLog log;
};

TEST_F(StageTest, FetchTakesUpTheInstructionAtThePcAndAdvancesIt) {
  Datapath datapath = datapathFor(testing::machineOf({"add $1, $2, $3", "addi $4, $5, 6", "j L1"}));
  InstructionIndex pc = 1;
  FetchUnit().fetch(datapath, pc);
  EXPECT_EQ(pc, 2);
  EXPECT_EQ(datapath.FetchLatch.Pc, 1);
  const std::vector<StageEntered> entered = log.all<StageEntered>();
  ASSERT_EQ(entered.size(), 1U);
  EXPECT_EQ(entered.front().stage, Stage::Fetch);
  EXPECT_EQ(entered.front().text, "addi $4, $5, 6");
  EXPECT_EQ(charges(Stage::Fetch), std::vector<std::int64_t>{5});
  EXPECT_EQ(datapath.energyTotal, 5.0);
}

struct MemoryCase {
  const char* name;
  bool memRead, memWrite;
  Word address;
  std::optional<Word> A2;
  MemoryAccess access;
  std::vector<Word> memoryAfter;
  Word Dr;  // after the access; 99 before
};

TEST_F(StageTest, MemoryLoadsStoresOrDoesNothing) {
  const MemoryCase cases[] = {
      {"load", true, false, 2, 7, MemoryAccess::Load, {10, 11, 12, 13}, 12},
      {"store", false, true, 1, 7, MemoryAccess::Store, {10, 7, 12, 13}, 99},
      {"store of an absent operand writes -1", false, true, 3, none, MemoryAccess::Store, {10, 11, 12, -1}, 99},
      {"a load wins over a store", true, true, 0, 7, MemoryAccess::Load, {10, 11, 12, 13}, 10},
      {"no access", false, false, 1, 7, MemoryAccess::None, {10, 11, 12, 13}, 99},
  };
  for (const MemoryCase& c : cases) {
    log.events.clear();
    Datapath datapath = datapathFor(testing::machineOf({"sw $1, 0($2)"}, {0, 0, 0}, {10, 11, 12, 13}));
    datapath.ExecuteLatch = {c.memRead, c.memWrite, WriteBackSource::LoadedWord, true, 4,
                             c.address, c.A2,       InstructionTag{0, 1}};
    datapath.MemoryLatch.Dr = 99;
    MemoryUnit().accessMemory(datapath, 0);
    EXPECT_EQ(datapath.state.memory, c.memoryAfter) << c.name;
    EXPECT_EQ(datapath.MemoryLatch.Dr, c.Dr) << c.name;
    EXPECT_EQ(datapath.MemoryLatch.rg, 4) << c.name;
    EXPECT_EQ(datapath.MemoryLatch.AluOut, c.address) << c.name;
    const std::vector<MemoryAccessChosen> chosen = log.all<MemoryAccessChosen>();
    ASSERT_EQ(chosen.size(), 1U);
    EXPECT_EQ(chosen.front().access, c.access) << c.name;
    EXPECT_EQ(log.all<MemoryRead>().size(), c.access == MemoryAccess::Load ? 1U : 0U) << c.name;
    EXPECT_EQ(log.all<MemoryWritten>().size(), c.access == MemoryAccess::Store ? 1U : 0U) << c.name;
    // Only an access charges the Mem energy.
    EXPECT_EQ(charges(Stage::Memory).size(), c.access == MemoryAccess::None ? 0U : 1U) << c.name;
  }
}

TEST_F(StageTest, MemoryRefusesAnAddressOutsideTheDataMemoryAfterChargingItsEnergy) {
  for (const Word address : {4, -1}) {
    log.events.clear();
    Datapath datapath = datapathFor(testing::machineOf({"sw $1, 0($2)"}, {0}, {10, 11, 12, 13}));
    datapath.ExecuteLatch = {true, false, WriteBackSource::LoadedWord, true, 4, address, 7, InstructionTag{0, 1}};
    datapath.MemoryLatch.Dr = 99;
    EXPECT_THROW(MemoryUnit().accessMemory(datapath, 0), FatalError);
    EXPECT_EQ(datapath.MemoryLatch.Dr, 99);
    EXPECT_TRUE(log.all<MemoryRead>().empty());
    EXPECT_EQ(charges(Stage::Memory), std::vector<std::int64_t>{30});
  }
}

struct WriteBackCase {
  const char* name;
  std::optional<WriteBackSource> memToreg;
  bool regWrite;
  std::optional<RegisterNumber> rg;
  Word value;  // chosen by MemToReg: AluOut 12 or Dr 42
  std::vector<Word> registersAfter;
};

TEST_F(StageTest, WriteBackWritesTheChosenValueOnlyWhenRegWriteIsSet) {
  const WriteBackCase cases[] = {
      {"ALU result", WriteBackSource::AluResult, true, 3, 12, {0, 0, 0, 12}},
      {"loaded word", WriteBackSource::LoadedWord, true, 0, 42, {42, 0, 0, 0}},  // register 0 is ordinary
      {"no write", none, false, none, 42, {0, 0, 0, 0}},
  };
  for (const WriteBackCase& c : cases) {
    log.events.clear();
    Datapath datapath = datapathFor(testing::machineOf({"add $3, $1, $2"}, {0, 0, 0, 0}));
    datapath.MemoryLatch = {c.memToreg, c.regWrite, c.rg, 42, 12, InstructionTag{0, 1}};
    WriteBackUnit().writeBack(datapath, 0);
    EXPECT_EQ(datapath.state.registers, c.registersAfter) << c.name;
    const std::vector<MemToRegSelected> selected = log.all<MemToRegSelected>();
    ASSERT_EQ(selected.size(), 1U);
    EXPECT_EQ(selected.front().value, c.value) << c.name;
    EXPECT_EQ(log.all<RegisterWritten>().size(), c.regWrite ? 1U : 0U) << c.name;
    EXPECT_EQ(charges(Stage::WriteBack).size(), c.regWrite ? 1U : 0U) << c.name;
  }
}

TEST_F(StageTest, WriteBackRefusesARegisterOutsideTheFileAfterChargingItsEnergy) {
  for (const std::optional<RegisterNumber> rg : {std::optional<RegisterNumber>(4), std::optional<RegisterNumber>()}) {
    log.events.clear();
    Datapath datapath = datapathFor(testing::machineOf({"add $3, $1, $2"}, {0, 0, 0, 0}));
    datapath.MemoryLatch = {WriteBackSource::AluResult, true, rg, 0, 12, InstructionTag{0, 1}};
    try {
      WriteBackUnit().writeBack(datapath, 0);
      ADD_FAILURE() << "register " << onBus(rg) << " was written";
    } catch (const FatalError& error) {
      EXPECT_EQ(std::string(error.what()),
                " Register $" + std::to_string(onBus(rg)) + " does not exist: register file size is 4 \n");
    }
    EXPECT_EQ(datapath.state.registers, (std::vector<Word>{0, 0, 0, 0}));
    EXPECT_EQ(charges(Stage::WriteBack), std::vector<std::int64_t>{40});
  }
}

}  // namespace
}  // namespace fivestage
