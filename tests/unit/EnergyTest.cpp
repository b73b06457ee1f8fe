#include <gtest/gtest.h>

#include <string>

#include "common/FatalError.h"
#include "energy/Energy.h"
#include "tests/support/CapturedTrace.h"
#include "tests/support/TempDir.h"

namespace fivestage {
namespace {

using testing::TempDir;
using testing::WorkingDirectory;

TEST(FormatEnergy, DefaultNotationWithThreeExponentDigits) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "0"},
      {42.0, "42"},
      {-17.0, "-17"},
      {999999.0, "999999"},
      {1000000.0, "1e+006"},
      {1500000.0, "1.5e+006"},
      {1234567.0, "1.23457e+006"},
      {1999999.0, "2e+006"},
      {-2500000.0, "-2.5e+006"},
      {123456789012.0, "1.23457e+011"},
      {1e15, "1e+015"},
      {1e100, "1e+100"},
  };
  for (const auto& [total, text] : cases) EXPECT_EQ(formatEnergy(total), text) << total;
}

TEST(DecodeEnergyFile, OneDirectoryPerKnownOpcodeOnly) {
  for (const char* opcode : {"add", "addi", "and", "beq", "bne", "j", "lw", "or", "sub", "sw"}) {
    const char* path = decodeEnergyFile(opcode);
    ASSERT_NE(path, nullptr) << opcode;
    EXPECT_EQ(std::string(path), std::string("EnergyConsumptionInput/Decode/") + opcode + "/energy.txt");
  }
  for (const char* opcode : {"xor", "nop", "ADD", "addx", "ori", "jal", ""}) {
    EXPECT_EQ(decodeEnergyFile(opcode), nullptr) << opcode;
  }
}

class ChargeEnergy : public ::testing::Test {
 protected:
  void SetUp() override { energyTotal = 0.0; }
  void TearDown() override { energyTotal = 0.0; }

  std::string charge(const char* path) {
    WorkingDirectory cwd(dir.path());
    testing::CapturedTrace out;
    chargeEnergy(out, path);
    return out.str();
  }

  TempDir dir;
};

TEST_F(ChargeEnergy, AddsEveryLineAndReportsTheRunningTotal) {
  dir.write(fetchEnergyFile, "1\n2\n3");
  dir.write(executeEnergyFile, " -3\n2.5\n\n1 joule\r\n");
  EXPECT_EQ(charge(fetchEnergyFile), "\n Energy Consumed until now : 6\n\n");
  EXPECT_EQ(charge(executeEnergyFile), "\n Energy Consumed until now : 6\n\n");  // -3 + 2 + 0 + 1
  EXPECT_EQ(charge(fetchEnergyFile), "\n Energy Consumed until now : 12\n\n");
}

TEST_F(ChargeEnergy, ReadsTheFileAfreshAtEveryCall) {
  dir.write(memoryEnergyFile, "999999\n");
  EXPECT_EQ(charge(memoryEnergyFile), "\n Energy Consumed until now : 999999\n\n");
  dir.write(memoryEnergyFile, "1\n");
  EXPECT_EQ(charge(memoryEnergyFile), "\n Energy Consumed until now : 1e+006\n\n");
  dir.write(memoryEnergyFile, "");
  EXPECT_EQ(charge(memoryEnergyFile), "\n Energy Consumed until now : 1e+006\n\n");
}

TEST_F(ChargeEnergy, FileThatCannotBeOpenedEndsTheRun) {
  std::filesystem::create_directories(dir.path() / "EnergyConsumptionInput/WriteBack/energy.txt");
  for (const char* path : {fetchEnergyFile, writeBackEnergyFile, static_cast<const char*>(nullptr)}) {
    try {
      charge(path);
      ADD_FAILURE() << "no error for " << (path ? path : "no file");
    } catch (const FatalError& error) {
      EXPECT_STREQ(error.what(), " File could not be loaded \n");
      EXPECT_EQ(error.exitStatus(), 1);
    }
  }
  EXPECT_EQ(energyTotal, 0.0);
}

}  // namespace
}  // namespace fivestage
