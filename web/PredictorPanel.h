#pragma once

#include <span>
#include <string>

#include "loader/MachineState.h"
#include "stages/BranchPredictor.h"
#include "vocabulary/Events.h"

namespace fivestage::web {

// The page's predictor panel at the end of a cycle, as HTML: what Fetch
// predicted in the cycle and how Execute's branch turned out, then the
// predictor's table with the branches of the program that use each entry,
// the entry read and the entry written in the cycle marked, right or wrong.
// A static predictor has no table: each branch's fixed prediction instead.
// Empty for a machine that predicts nothing (not taken: Fetch goes on in order).
std::string predictorPanelHtml(const MachineState& program, const BranchPredictor& predictor,
                               std::span<const Event> cycle);

}  // namespace fivestage::web
