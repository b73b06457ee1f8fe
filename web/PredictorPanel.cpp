#include "web/PredictorPanel.h"

#include <map>
#include <optional>
#include <vector>

#include "report/HtmlReport.h"

namespace fivestage::web {
namespace {

std::string_view takenText(bool taken) { return taken ? "taken" : "not taken"; }

// "E(5) bne $2, $4, L5", escaped for the page.
std::string instructionHtml(const MachineState& program, InstructionIndex index) {
  return "E(" + std::to_string(index) + ") " + report::htmlEscaped(program.sourceTextOf(index));
}

// "line 6: bne $2, $4, L5": the page's breakpoints and editors count lines.
std::string branchHtml(const MachineState& program, InstructionIndex index) {
  return "line " + std::to_string(program.instructionLines[static_cast<std::size_t>(index)] + 1) + ": " +
         report::htmlEscaped(program.sourceTextOf(index));
}

std::string stateHtml(Predictor kind, std::int32_t state) {
  return std::to_string(state) + " <span class=\"note\">" + std::string(tableStateMeaning(kind, state)) + "</span>";
}

// The conditional branches of the program, by instruction number: the only
// instructions a predictor guesses for (a jump always goes to its label).
std::vector<InstructionIndex> conditionalBranches(const MachineState& program) {
  std::vector<InstructionIndex> branches;
  for (std::size_t i = 0; i < program.instructions.size(); ++i) {
    if (isConditionalBranch(program.instructions[i].decoded())) branches.push_back(static_cast<InstructionIndex>(i));
  }
  return branches;
}

std::string ruleHtml(const BranchPredictor& predictor) {
  const std::string entries = std::to_string(predictor.table().size());
  const std::string timing =
      " An entry is written at the end of the cycle its branch resolves in, in Execute: a prediction made up to "
      "then reads the older state.";
  switch (predictor.kind()) {
    case Predictor::Taken: return "Every branch is predicted taken: Fetch fetches its label next.";
    case Predictor::BackwardTaken:
      return "A branch is predicted taken when its label is at or before it, as a loop's branch, and not taken "
             "otherwise.";
    case Predictor::OneBit:
      return "1-bit table: " + entries +
             " entries, a branch's instruction number modulo " + entries + " chooses one; it holds the last outcome "
             "of a branch that uses it." + timing;
    case Predictor::TwoBit:
      return "2-bit table: " + entries + " saturating counters from 0 to 3, a branch's instruction number modulo " +
             entries + " chooses one; 2 or more predicts taken, and each outcome counts one up or down." + timing;
    case Predictor::NotTaken: break;
  }
  return "";
}

// What Fetch predicted and how Execute's branch turned out in the cycle.
struct CycleMarks {
  std::optional<BranchPredicted> predicted;
  std::optional<BranchResolved> resolved;
};

CycleMarks marksOf(std::span<const Event> cycle) {
  CycleMarks marks;
  for (const Event& event : cycle) {
    if (const auto* predicted = std::get_if<BranchPredicted>(&event)) marks.predicted = *predicted;
    if (const auto* resolved = std::get_if<BranchResolved>(&event)) marks.resolved = *resolved;
  }
  return marks;
}

std::string verdictHtml(const BranchResolved& resolved) {
  const char* verdict = resolved.right() ? "right" : "wrong";
  return std::string("<b class=\"") + verdict + "\">" + verdict + "</b>";
}

// A table row's start, marked when Fetch read it in the cycle and when the
// branch Execute resolved updated it, right or wrong (in words too, in the
// row's last cell, for a reader who cannot tell the colours apart).
std::string rowStart(bool read, const BranchResolved* resolved) {
  std::string classes = read ? "read" : "";
  if (resolved != nullptr) classes += std::string(read ? " " : "") + (resolved->right() ? "right" : "wrong");
  return classes.empty() ? "<tr>" : "<tr class=\"" + classes + "\">";
}

// The row's last cell: what the cycle did with it.
std::string thisCycleCell(bool read, const BranchResolved* resolved, std::string_view readText,
                          std::string_view resolvedText) {
  std::string cell = "<td>" + std::string(read ? readText : "");
  if (resolved != nullptr) cell += std::string(read ? "; " : "") + std::string(resolvedText) + verdictHtml(*resolved);
  return cell + "</td>";
}

std::string cycleHtml(const MachineState& program, const BranchPredictor& predictor, const CycleMarks& marks) {
  std::string html = "<ul class=\"predictor-now\">";
  html += "<li>Fetch: ";
  if (const auto& p = marks.predicted) {
    html += instructionHtml(program, p->branch.index) + ": ";
    if (p->jump) {
      html += "a jump";
    } else {
      if (p->entry) html += "entry " + std::to_string(p->entry->index) + " = " + stateHtml(predictor.kind(), p->entry->state) + ", ";
      html += "predicts " + std::string(takenText(p->taken));
    }
    html += "; next E(" + std::to_string(p->next) + ")";
  } else {
    html += "no branch fetched";
  }
  html += "</li><li>Execute: ";
  if (const auto& r = marks.resolved) {
    html += instructionHtml(program, r->branch.index) + ": " + std::string(takenText(r->taken)) + ", predicted " +
            std::string(takenText(r->predictedTaken)) + ": " + verdictHtml(*r);
    if (r->before && r->after) {
      html += "; entry " + std::to_string(r->before->index) + ": " + std::to_string(r->before->state) + " → " +
              std::to_string(*r->after) + " at the end of the cycle";
    }
  } else {
    html += "no branch resolved";
  }
  return html + "</li></ul>";
}

// A dynamic predictor's table: the entries some branch uses, each with its
// state now (after the cycle's update), what that predicts and its branches.
std::string tableHtml(const MachineState& program, const BranchPredictor& predictor, const CycleMarks& marks) {
  std::map<std::int32_t, std::vector<InstructionIndex>> users;
  for (const InstructionIndex branch : conditionalBranches(program)) users[predictor.entryOf(branch)].push_back(branch);
  std::string html =
      "<table class=\"predictor-table\"><caption>The table at the end of the cycle: the entries the program's "
      "branches use</caption><thead><tr><th scope=\"col\">Entry</th><th scope=\"col\">State</th><th "
      "scope=\"col\">Predicts</th><th scope=\"col\">Branches</th><th scope=\"col\">This cycle</th></tr></thead><tbody>";
  for (const auto& [entry, branches] : users) {
    const std::int32_t state = predictor.table()[static_cast<std::size_t>(entry)];
    const bool read = marks.predicted && marks.predicted->entry && marks.predicted->entry->index == entry;
    const bool written = marks.resolved && marks.resolved->before && marks.resolved->before->index == entry;
    const BranchResolved* update = written ? &*marks.resolved : nullptr;
    html += rowStart(read, update) + "<td>" + std::to_string(entry) + "</td><td>" +
            stateHtml(predictor.kind(), state) + "</td><td>" +
            std::string(takenText(predictor.predictsTaken(state))) + "</td><td>";
    for (std::size_t i = 0; i < branches.size(); ++i) html += (i > 0 ? "<br>" : "") + branchHtml(program, branches[i]);
    html += "</td>" + thisCycleCell(read, update, "read by Fetch", "written: ") + "</tr>";
  }
  return html + "</tbody></table>";
}

// A static predictor's fixed guess for each branch.
std::string staticHtml(const MachineState& program, const BranchPredictor& predictor, const CycleMarks& marks) {
  std::string html =
      "<table class=\"predictor-table\"><caption>The program's branches and their fixed predictions</caption><thead>"
      "<tr><th scope=\"col\">Branch</th><th scope=\"col\">Predicts</th><th scope=\"col\">This cycle</th></tr>"
      "</thead><tbody>";
  for (const InstructionIndex branch : conditionalBranches(program)) {
    const auto prediction = predictor.predictAt(program, branch);
    const bool taken = prediction && prediction->taken;
    const bool read = marks.predicted && marks.predicted->branch.index == branch;
    const bool resolved = marks.resolved && marks.resolved->branch.index == branch;
    html += rowStart(read, resolved ? &*marks.resolved : nullptr) + "<td>" + branchHtml(program, branch) +
            "</td><td>" + std::string(takenText(taken)) + "</td>" +
            thisCycleCell(read, resolved ? &*marks.resolved : nullptr, "predicted by Fetch", "resolved: ") + "</tr>";
  }
  return html + "</tbody></table>";
}

}  // namespace

std::string predictorPanelHtml(const MachineState& program, const BranchPredictor& predictor,
                               std::span<const Event> cycle) {
  if (predictor.kind() == Predictor::NotTaken) return "";
  const CycleMarks marks = marksOf(cycle);
  std::string html = "<p class=\"note\">" + ruleHtml(predictor) + "</p>" + cycleHtml(program, predictor, marks);
  html += predictor.isDynamic() ? tableHtml(program, predictor, marks) : staticHtml(program, predictor, marks);
  return html;
}

}  // namespace fivestage::web
