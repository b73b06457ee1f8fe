// The page's predictor panel and the predictor on its datapath, on a
// two-instruction loop whose cycles were worked out by hand: with forwarding,
// its bne resolves in cycles 6, 9, 11 and 13, and from the second turn on
// Fetch fetches the bne again in the very cycle the one before resolves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Core.h"
#include "tests/support/EventLog.h"
#include "tests/support/TempDir.h"
#include "trace/LatestCycle.h"
#include "web/CycleDiagram.h"
#include "web/PredictorPanel.h"

namespace fivestage {
namespace {

using Json = nlohmann::ordered_json;

// Four turns of a 2-instruction loop: E(2) addi, E(3) bne back to it.
const std::vector<std::string> loop = {"addi $1, $0, 0", "addi $2, $0, 4", "addi $1, $1, 1", "bne $1, $2, L3",
                                       "addi $5, $0, 9"};

struct Shown {
  std::string panel;
  Json diagram;
};

// The panel and the diagram at the end of `cycle`.
Shown shownAt(Predictor predictor, Cycle cycle, int entries = 16, const std::vector<std::string>& source = loop) {
  testing::TempDir dir;
  dir.addEnergyTree();
  LatestCycle latest;
  const MachineOptions machine{.forwarding = true, .flush = true, .predictor = predictor, .predictorEntries = entries};
  const MachineState program = testing::machineOf(source);
  Core core(program, InputFolder(dir.path()), &latest, machine);
  while (core.cyclesRun() < cycle && core.stepCycle(Key::Newline) == RunEnd::Running) {
  }
  return {web::predictorPanelHtml(program, core.predictor(), latest.events()),
          web::CycleDiagram(machine).json(latest.events())};
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(PredictorPanel, MarksTheEntryReadAndTheEntryWrittenInTheCycle) {
  struct Case {
    const char* name;
    Predictor predictor;
    Cycle cycle;
    std::vector<std::string> shows;
  };
  const std::vector<Case> cases = {
      {"the first turn: weakly not taken was wrong, and Fetch fetches the loop's head again", Predictor::TwoBit, 6,
       {"<tr class=\"wrong\"><td>3</td><td>2 <span class=\"note\">weakly taken</span></td><td>taken</td>",
        "Fetch: no branch fetched", "taken, predicted not taken: <b class=\"wrong\">wrong</b>; entry 3: 1 → 2",
        "written: <b class=\"wrong\">wrong</b>"}},
      // The late update: Fetch reads 2 while Execute's bne writes 3.
      {"the second turn: the bne is read before its update", Predictor::TwoBit, 9,
       {"<tr class=\"read right\"><td>3</td><td>3 <span class=\"note\">strongly taken</span>",
        "Fetch: E(3) bne $1, $2, L3: entry 3 = 2 <span class=\"note\">weakly taken</span>, predicts taken; next E(2)",
        "read by Fetch; written: <b class=\"right\">right</b>"}},
      {"a 1-bit table holds the last outcome", Predictor::OneBit, 13,
       {"<td>0 <span class=\"note\">not taken</span></td><td>not taken</td>",
        "not taken, predicted taken: <b class=\"wrong\">wrong</b>; entry 3: 1 → 0"}},
      {"a static predictor lists each branch's fixed guess", Predictor::Taken, 12,
       {"<tr class=\"wrong\"><td>line 4: bne $1, $2, L3</td><td>taken</td><td>resolved: <b class=\"wrong\">wrong</b>",
        "Every branch is predicted taken"}},
  };
  for (const Case& c : cases) {
    const std::string panel = shownAt(c.predictor, c.cycle).panel;
    for (const std::string& part : c.shows) EXPECT_TRUE(has(panel, part)) << c.name << ": " << part << "\n" << panel;
  }
}

TEST(PredictorPanel, ATableShowsOnlyTheEntriesBranchesUseAndItsSize) {
  const std::string panel = shownAt(Predictor::TwoBit, 1, 2).panel;
  EXPECT_TRUE(has(panel, "2-bit table: 2 saturating counters")) << panel;
  // The bne at E(3) uses entry 1 of 2; entry 0 has no branch and no row.
  EXPECT_TRUE(has(panel, "<tr><td>1</td><td>1 <span class=\"note\">weakly not taken</span>")) << panel;
  EXPECT_FALSE(has(panel, "<tr><td>0</td>")) << panel;
}

// Fetch cannot fetch from L0 or beyond the program's end, so it goes on in
// order after such a branch whatever the predictor says: the panel shows
// what Fetch does.
TEST(PredictorPanel, ABranchFetchCannotFollowIsShownNotTaken) {
  const std::vector<std::string> source = {"addi $1, $0, 1", "beq $1, $0, L0", "bne $1, $0, L9", "beq $1, $1, L1"};
  const std::string panel = shownAt(Predictor::Taken, 1, 16, source).panel;
  for (const char* row : {"<td>line 2: beq $1, $0, L0</td><td>not taken</td>",
                          "<td>line 3: bne $1, $0, L9</td><td>not taken</td>",
                          "<td>line 4: beq $1, $1, L1</td><td>taken</td>"}) {
    EXPECT_TRUE(has(panel, row)) << row << "\n" << panel;
  }
}

TEST(PredictorPanel, NothingForAMachineThatPredictsNothing) {
  EXPECT_EQ(shownAt(Predictor::NotTaken, 9).panel, "");
  EXPECT_FALSE(shownAt(Predictor::NotTaken, 9).diagram["predicting"].get<bool>());
}

TEST(PredictorPanel, TheDiagramShowsFetchsGuessAndExecutesCheck) {
  const Json diagram = shownAt(Predictor::TwoBit, 9).diagram;
  EXPECT_TRUE(diagram["predicting"].get<bool>());
  EXPECT_EQ(diagram["stages"]["Fetch"]["prediction"],
            (Json{{"jump", false}, {"entry", 3}, {"state", 2}, {"meaning", "weakly taken"}, {"taken", true},
                  {"next", 2}}));
  EXPECT_EQ(diagram["stages"]["Execute"]["resolution"],
            (Json{{"predictedTaken", true}, {"taken", true}, {"right", true}, {"entry", 3}, {"before", 2},
                  {"after", 3}}));
  const Json& active = diagram["active"];
  EXPECT_NE(std::find(active.begin(), active.end(), "predict"), active.end());
}

}  // namespace
}  // namespace fivestage
