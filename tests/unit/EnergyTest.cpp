#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/FatalError.h"
#include "energy/EnergySource.h"
#include "tests/support/TempDir.h"
#include "trace/EnergyText.h"

namespace fivestage {
namespace {

using testing::TempDir;

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

const EnergyFile fetch{Stage::Fetch, {}};
const EnergyFile execute{Stage::Execute, {}};
const EnergyFile memory{Stage::Memory, {}};
const EnergyFile writeBack{Stage::WriteBack, {}};

TEST(EnergyFilePath, NamesEachStagesFileAndDecodesOnlyForOpcodesWithFigures) {
  EXPECT_EQ(energyFilePath(fetch), "EnergyConsumptionInput/Fetch/energy.txt");
  EXPECT_EQ(energyFilePath(memory), "EnergyConsumptionInput/Mem/energy.txt");
  EXPECT_EQ(energyFilePath(writeBack), "EnergyConsumptionInput/WriteBack/energy.txt");
  EXPECT_EQ(energyFilePath({Stage::Decode, Opcode::Addi}), "EnergyConsumptionInput/Decode/addi/energy.txt");
  for (const std::optional<Opcode> opcode :
       {std::optional(Opcode::Xor), std::optional(Opcode::Nop), std::optional<Opcode>()}) {
    EXPECT_EQ(energyFilePath({Stage::Decode, opcode}), std::nullopt);
  }
}

class EnergyReading : public ::testing::Test {
 protected:
  // Charges one file and returns what it added; `total` keeps running.
  std::int64_t charge(const EnergyFile& file) { return source.addTo(file, total); }

  TempDir dir;
  EnergySource source{InputFolder(dir.path())};
  double total = 0.0;
};

TEST_F(EnergyReading, AddsEveryLineToTheRunningTotal) {
  dir.write("EnergyConsumptionInput/Fetch/energy.txt", "1\n2\n3");
  dir.write("EnergyConsumptionInput/Execute/energy.txt", " -3\n2.5\n\n1 joule\r\n");
  EXPECT_EQ(charge(fetch), 6);
  EXPECT_EQ(charge(execute), 0);  // -3 + 2 + 0 + 1
  EXPECT_EQ(charge(fetch), 6);
  EXPECT_EQ(total, 12.0);
}

TEST_F(EnergyReading, ReadsTheFileAfreshAtEveryCall) {
  dir.write("EnergyConsumptionInput/Mem/energy.txt", "999999\n");
  EXPECT_EQ(charge(memory), 999999);
  dir.write("EnergyConsumptionInput/Mem/energy.txt", "1\n");
  EXPECT_EQ(charge(memory), 1);
  dir.write("EnergyConsumptionInput/Mem/energy.txt", "");
  EXPECT_EQ(charge(memory), 0);
  EXPECT_EQ(total, 1000000.0);
}

// The total is kept line by line in double arithmetic; the charge is the exact sum.
TEST_F(EnergyReading, ReportsTheExactSumBeyondThePrecisionOfTheTotal) {
  total = 9007199254740992.0;  // 2^53: adding 1 to it rounds back down
  dir.write("EnergyConsumptionInput/Fetch/energy.txt", "1\n1\n");
  EXPECT_EQ(charge(fetch), 2);
  EXPECT_EQ(total, 9007199254740992.0);
}

TEST_F(EnergyReading, FileThatCannotBeOpenedEndsTheRun) {
  std::filesystem::create_directories(dir.path() / "EnergyConsumptionInput/WriteBack/energy.txt");
  for (const EnergyFile& file : {fetch, writeBack, EnergyFile{Stage::Decode, Opcode::Xor}}) {
    try {
      charge(file);
      ADD_FAILURE() << "no error for " << stageName(file.stage);
    } catch (const FatalError& error) {
      EXPECT_STREQ(error.what(), " File could not be loaded \n");
      EXPECT_EQ(error.exitStatus(), 1);
    }
  }
  EXPECT_EQ(total, 0.0);
}

TEST(EnergyFilePath, NamesEveryStagesIdleFileDecodesWhateverTheOpcode) {
  const std::pair<Stage, const char*> cases[] = {
      {Stage::Fetch, "EnergyConsumptionInput/Fetch/idle.txt"},
      {Stage::Decode, "EnergyConsumptionInput/Decode/idle.txt"},
      {Stage::Execute, "EnergyConsumptionInput/Execute/idle.txt"},
      {Stage::Memory, "EnergyConsumptionInput/Mem/idle.txt"},
      {Stage::WriteBack, "EnergyConsumptionInput/WriteBack/idle.txt"},
  };
  for (const auto& [stage, path] : cases) {
    EXPECT_EQ(energyFilePath({stage, {}, true}), path);
    EXPECT_EQ(energyFilePath({stage, Opcode::Add, true}), path);
  }
}

// Idle files are optional, stage by stage: one that is absent means no idle
// charge; one that is there but cannot be read fails at its first charge,
// as every energy file does. From a folder and from texts alike.
TEST(EnergySource, IdleFiguresAreThereForTheStagesThatHaveAFile) {
  TempDir dir;
  dir.write("EnergyConsumptionInput/Decode/idle.txt", "2\n3\n");
  std::filesystem::create_directories(dir.path() / "EnergyConsumptionInput/Mem/idle.txt");
  InputTexts texts("texts");
  texts.put("EnergyConsumptionInput/Decode/idle.txt", "2\n3\n");
  texts.put("EnergyConsumptionInput/Mem/idle.txt", "-1\n");
  const InputFolder folder(dir.path());
  // Whether Mem's idle figures can be read: its file is a folder on disk.
  const std::pair<const InputFiles*, bool> sources[] = {{&folder, false}, {&texts, true}};
  for (const auto& [inputs, memoryReadable] : sources) {
    EnergySource source(*inputs);
    for (const Stage stage : allStages) {
      const bool expected = stage == Stage::Decode || stage == Stage::Memory;
      EXPECT_EQ(source.hasIdleFigures(stage), expected) << stageName(stage) << " " << inputs->name();
    }
    double total = 0.0;
    EXPECT_EQ(source.addTo({Stage::Decode, {}, true}, total), 5);
    if (memoryReadable) {
      EXPECT_EQ(source.addTo({Stage::Memory, {}, true}, total), -1);
    } else {
      EXPECT_THROW(source.addTo({Stage::Memory, {}, true}, total), FatalError);
    }
  }
}

// A run nobody can pause reads an idle file once, apart from the stage's
// working figures.
TEST(EnergySource, KeepsIdleFiguresApartFromWorkingOnes) {
  TempDir dir;
  dir.write("EnergyConsumptionInput/Execute/energy.txt", "20\n");
  dir.write("EnergyConsumptionInput/Execute/idle.txt", "2\n");
  EnergySource source(InputFolder(dir.path()), fivestage::EnergyReading::OncePerRun);
  double total = 0.0;
  EXPECT_EQ(source.addTo({Stage::Execute, {}, true}, total), 2);
  EXPECT_EQ(source.addTo(execute, total), 20);
  dir.write("EnergyConsumptionInput/Execute/idle.txt", "200\n");
  EXPECT_EQ(source.addTo({Stage::Execute, {}, true}, total), 2);
  EXPECT_EQ(total, 24.0);
}

// The console reads a figure afresh at every use; a run nobody can pause
// reads it once. Both add the same lines one at a time, and a file missing at
// its first use fails the same way.
TEST(EnergySource, ReadsEachFileAtEveryUseOrOncePerRun) {
  for (const fivestage::EnergyReading reading :
       {fivestage::EnergyReading::EveryUse, fivestage::EnergyReading::OncePerRun}) {
    const bool once = reading == fivestage::EnergyReading::OncePerRun;
    TempDir dir;
    dir.write("EnergyConsumptionInput/Fetch/energy.txt", "9007199254740993\n2\n-3\n");
    EnergySource source(InputFolder(dir.path()), reading);
    double total = 0.5;
    EXPECT_EQ(source.addTo(fetch, total), 2147483647LL + 2 - 3) << once;  // a line beyond 32 bits saturates
    const double afterFirst = total;
    dir.write("EnergyConsumptionInput/Fetch/energy.txt", "100\n");
    EXPECT_EQ(source.addTo(fetch, total), once ? 2147483646LL : 100) << once;
    EXPECT_EQ(total, once ? afterFirst + 2147483647.0 + 2.0 - 3.0 : afterFirst + 100.0) << once;
    EXPECT_THROW(source.addTo(execute, total), FatalError) << once;
    dir.write("EnergyConsumptionInput/Execute/energy.txt", "20\n");
    EXPECT_EQ(source.addTo(execute, total), 20) << once;  // a failed reading keeps nothing
  }
}

// What one charge gives: the sum it added, or the message it failed with.
std::string chargeOutcome(EnergySource& source, const EnergyFile& file, double& total) {
  try {
    return std::to_string(source.addTo(file, total));
  } catch (const FatalError& error) {
    return error.what();
  }
}

// Figures held as texts charge what the same files in a folder charge, read
// at every use or once, and a file missing from either fails alike.
TEST(EnergySource, TextsInMemoryChargeAsTheSameFilesInAFolder) {
  const std::pair<const char*, const char*> files[] = {
      {"EnergyConsumptionInput/Fetch/energy.txt", "1\n2\n3"},
      {"EnergyConsumptionInput/Execute/energy.txt", " -3\n2.5\n\n1 joule\r\n"},
      {"EnergyConsumptionInput/Decode/add/energy.txt", "9007199254740993\n-1\r"},
      {"EnergyConsumptionInput/WriteBack/energy.txt", ""},
  };
  const std::pair<EnergyFile, const char*> charges[] = {
      {fetch, "6"},
      {execute, "0"},
      {{Stage::Decode, Opcode::Add}, "2147483646"},
      {writeBack, "0"},
      {memory, " File could not be loaded \n"},
      {{Stage::Decode, Opcode::Sub}, " File could not be loaded \n"},
      {{Stage::Decode, Opcode::Xor}, " File could not be loaded \n"},
      {fetch, "6"},
  };
  for (const fivestage::EnergyReading reading :
       {fivestage::EnergyReading::EveryUse, fivestage::EnergyReading::OncePerRun}) {
    TempDir dir;
    InputTexts texts("texts");
    for (const auto& [path, text] : files) {
      dir.write(path, text);
      texts.put(path, text);
    }
    EnergySource fromFolder(InputFolder(dir.path()), reading);
    EnergySource fromTexts(texts, reading);
    double folderTotal = 0.0;
    double textsTotal = 0.0;
    for (const auto& [file, expected] : charges) {
      const std::string charged = chargeOutcome(fromFolder, file, folderTotal);
      EXPECT_EQ(charged, expected) << stageName(file.stage);
      EXPECT_EQ(chargeOutcome(fromTexts, file, textsTotal), charged) << stageName(file.stage);
      EXPECT_EQ(textsTotal, folderTotal) << stageName(file.stage);
    }
  }
}

// A file read once is added in one step only where that cannot differ from
// adding its lines one at a time: near the edge of double's precision, and
// from a total with a fraction, the lines are added one by one again.
TEST(EnergySource, ReadOnceKeepsTheTotalOfLineByLineAddition) {
  const double edge = 9007199254740992.0;  // 2^53
  for (const double start : {0.0, 0.5, -7.0, edge - 3.0, edge, -edge, 3.0 * edge}) {
    TempDir dir;
    dir.write("EnergyConsumptionInput/Fetch/energy.txt", "1\n1\n-1\n1\n");
    EnergySource everyUse(InputFolder(dir.path()), fivestage::EnergyReading::EveryUse);
    EnergySource once(InputFolder(dir.path()), fivestage::EnergyReading::OncePerRun);
    double lineByLine = start;
    double kept = start;
    for (int charge = 0; charge < 4; ++charge) {
      EXPECT_EQ(once.addTo(fetch, kept), everyUse.addTo(fetch, lineByLine)) << start;
      EXPECT_EQ(kept, lineByLine) << start << " charge " << charge;
    }
  }
}

// The list pages edit from is the tree a complete input folder holds.
TEST(EnergyFilePaths, AreTheFilesOfACompleteEnergyTree) {
  const std::filesystem::path tree(FIVESTAGE_ENERGY_TREE);
  std::vector<std::string> onDisk;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(tree)) {
    if (entry.is_regular_file()) {
      onDisk.push_back((tree.filename() / std::filesystem::relative(entry.path(), tree)).generic_string());
    }
  }
  std::vector<std::string> listed = energyFilePaths();
  EXPECT_EQ(listed.front(), "EnergyConsumptionInput/Fetch/energy.txt");
  EXPECT_EQ(listed.back(), "EnergyConsumptionInput/WriteBack/energy.txt");
  std::sort(listed.begin(), listed.end());
  std::sort(onDisk.begin(), onDisk.end());
  EXPECT_EQ(listed, onDisk);
}

}  // namespace
}  // namespace fivestage
