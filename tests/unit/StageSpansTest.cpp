// Where the console trace says each stage's block lies: checked against the
// trace's own text, cycle by cycle, on programs that stall, forward and
// cancel, on every machine.
#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>
#include <string_view>

#include "core/Core.h"
#include "tests/support/EventLog.h"
#include "tests/support/TempDir.h"
#include "trace/LatestCycle.h"

namespace fivestage {
namespace {

// The line of a stage's idle charge: " Idle : Mem \n", " Idle : Decode (stall) \n".
bool isIdleLineOf(std::string_view line, Stage stage) {
  const std::string idle = " Idle : " + std::string(stageName(stage)) + " ";
  return line == idle + "\n" || line == idle + "(stall) \n";
}

// The headings a stage's block may begin with: a stall's release goes on
// to Execute; a stage that held no instruction begins with its idle charge.
bool beginsAsStage(std::string_view block, Stage stage) {
  if (isIdleLineOf(block.substr(0, block.find('\n') + 1), stage)) return true;
  switch (stage) {
    case Stage::Fetch: return block.starts_with(" Fetching : E(");
    case Stage::Decode: return block.starts_with(" Decoding : E(");
    case Stage::Execute: return block.starts_with(" Executing : E(") || block.starts_with(" Stall Released : E(");
    case Stage::Memory: return block.starts_with(" Memory Access : E(");
    case Stage::WriteBack: return block.starts_with(" Writing Register File  : E(");
  }
  return false;
}

bool isHeading(std::string_view line) {
  for (const Stage stage : allStages) {
    if (beginsAsStage(line, stage) && !isIdleLineOf(line, stage)) return true;
  }
  return false;
}

// Whether an idle line inside a block names another stage than the block's.
bool idleLineOfAnotherStage(std::string_view line, Stage stage) {
  if (!line.starts_with(" Idle : ")) return false;
  return !isIdleLineOf(line, stage);
}

// The lines outside every block: the prompt, the cycle's banner, the line
// that sets Write-back apart, and how a run that failed ended.
bool belongsToNoStage(std::string_view line, const std::string& runEnd) {
  return line.find_first_not_of(" \n") == std::string_view::npos || line.starts_with(" Press Enter") ||
         line.find(" Cpu Cycle ") != std::string_view::npos ||
         line == " ----------------------------------------------------------------- \n" ||
         (!runEnd.empty() && runEnd.find(line) != std::string::npos);
}

std::vector<std::string_view> linesOfText(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size() - 1) + 1;
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end);
  }
  return lines;
}

struct Program {
  const char* name;
  std::vector<std::string> lines;
};

// A dependent pair stalls without forwarding; a load's use stalls with it
// too (in this machine sw loads a word); a taken branch has the instruction
// behind it cancelled with flush; a load from beyond memory ends the run.
const Program programs[] = {
    {"dependent pair", {"add $3, $1, $2", "add $4, $3, $5"}},
    {"load use", {"sw $3, 1($0)", "add $4, $3, $5"}},
    {"taken branch", {"beq $1, $1, L3", "addi $2, $0, 9", "sw $3, 0($0)", "add $4, $3, $3"}},
    {"load out of range", {"addi $1, $0, 2", "sw $2, 90($1)"}},
};
constexpr std::array<MachineOptions, 4> machines{{{false, false}, {true, false}, {false, true}, {true, true}}};

// With idle figures, every stage charges in every cycle: its idle charge
// belongs to its block, which it begins when the stage held no instruction.
TEST(StageSpans, EachBlockRunsFromItsStagesHeadingToTheNextAndNoLineIsLeftOut) {
  bool released = false;
  bool cancelled = false;
  bool idleInsideBlock = false;
  for (const bool idleFigures : {false, true}) {
    for (const Program& program : programs) {
      for (const MachineOptions machine : machines) {
        testing::TempDir dir;
        dir.addEnergyTree();
        if (idleFigures) {
          for (const Stage stage : allStages) dir.write(*energyFilePath({stage, {}, true}), "1\n");
        }
        LatestCycle latest;
        RunObservers observers;
        observers.add(latest);
        Core core(testing::machineOf(program.lines), InputFolder(dir.path()), &observers, machine);
        RunEnd state = RunEnd::Running;
        while (state == RunEnd::Running && core.cyclesRun() < 20) {
          state = core.stepCycle(Key::Newline);
          const LatestCycle::Text cycle = latest.text();
          const std::string where = std::string(program.name) + (idleFigures ? ", idle figures" : "") +
                                    ", forwarding " + std::to_string(machine.forwarding) + ", flush " +
                                    std::to_string(machine.flush) + ", cycle " + std::to_string(core.cyclesRun());
          const std::string runEnd = state == RunEnd::Failed ? core.outcome().message : "";
          std::size_t covered = 0;
          for (const StageSpan& span : cycle.stages) {
            ASSERT_LE(covered, span.begin) << where;
            ASSERT_LT(span.begin, span.end) << where;
            ASSERT_LE(span.end, cycle.text.size()) << where;
            const std::string_view block = std::string_view(cycle.text).substr(span.begin, span.end - span.begin);
            EXPECT_TRUE(beginsAsStage(block, span.stage)) << where << ": " << block;
            // No other heading inside a block: it ends where the next begins.
            const std::vector<std::string_view> lines = linesOfText(block);
            for (std::size_t i = 1; i < lines.size(); ++i) {
              EXPECT_FALSE(isHeading(lines[i])) << where << ": " << block;
              EXPECT_FALSE(idleLineOfAnotherStage(lines[i], span.stage)) << where << ": " << block;
              idleInsideBlock = idleInsideBlock || isIdleLineOf(lines[i], span.stage);
            }
            for (const std::string_view between :
                 linesOfText(std::string_view(cycle.text).substr(covered, span.begin - covered)))
              EXPECT_TRUE(belongsToNoStage(between, runEnd)) << where << ": " << between;
            covered = span.end;
            released = released || block.starts_with(" Stall Released");
            cancelled = cancelled || block.find(" cancelled, fetched behind") != std::string_view::npos;
          }
          for (const std::string_view after : linesOfText(std::string_view(cycle.text).substr(covered)))
            EXPECT_TRUE(belongsToNoStage(after, runEnd)) << where << ": " << after;
        }
        EXPECT_NE(state, RunEnd::Running) << program.name;
      }
    }
  }
  // The cases the blocks are hardest on came up.
  EXPECT_TRUE(released);
  EXPECT_TRUE(cancelled);
  EXPECT_TRUE(idleInsideBlock);
}

// The page marks a stage's lines: the lines a block's offsets give are its text.
TEST(StageSpans, LinesHoldExactlyTheBlocksText) {
  const std::string text = "\n Press Enter\n\n Fetching : E(0)\n\t F.Pc = 0\n\n Decoding : E(1)\n\tx\n";
  const std::size_t fetch = text.find(" Fetching");
  const std::size_t decode = text.find(" Decoding");
  const std::vector<StageSpan> spans{{Stage::Fetch, fetch, decode}, {Stage::Decode, decode, text.size()}};
  const std::vector<StageLines> lines = linesOf(text, spans);
  ASSERT_EQ(lines.size(), spans.size());
  const std::vector<std::string_view> all = linesOfText(text);
  for (std::size_t i = 0; i < spans.size(); ++i) {
    std::string joined;
    for (std::size_t line = lines[i].from; line < lines[i].to; ++line) joined += all[line];
    EXPECT_EQ(joined, text.substr(spans[i].begin, spans[i].end - spans[i].begin)) << i;
    EXPECT_EQ(lines[i].stage, spans[i].stage);
  }
}

}  // namespace
}  // namespace fivestage
