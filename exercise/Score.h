#pragma once

#include <vector>

#include "exercise/Checker.h"

namespace fivestage::exercise {

// How an answer's score is made from its checks, so that a grade comes from
// right results:
// - each data set's expected registers and words share its points, each an
//   equal part; a value the data set starts with carries none, since a
//   program that does nothing keeps it;
// - the limits (instructions, and cycles, stalls, mispredictions, energy,
//   energy-delay and wrong-path energy on each data set) and asMeant share the limits' points, and earn them
//   only when every data set's results are right: a program that computes
//   nothing is short and quick, but scores nothing for it;
// - whether a run completes carries no points: a run that does not complete
//   gets its data set's results wrong.
// A data set weighs its `weight`, the limits together `limitsWeight`, both 1
// by default; the exercise's `points` are shared out in proportion among
// those that have checks carrying points. When none has, an answer that
// passes every check gets all the points, and any other none.

// Sets each check's maxPoints: its share of the exercise's points.
void sharePoints(const Exercise& exercise, std::vector<Check>& checks);

// Whether every check but the limits passed: the data sets' results are
// right and every run completed.
bool resultsRight(const std::vector<Check>& checks);

// Sets each check's points: its maxPoints when it passed and, for a limit,
// every result is right too; 0 otherwise.
void awardPoints(std::vector<Check>& checks);

}  // namespace fivestage::exercise
