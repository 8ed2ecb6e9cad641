#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sim/Genealogy.h"

// Position picked from a list of k entries by the uniform variate u in (0, 1):
// the smallest p with u <= t(p + 1), where the thresholds t are running sums of
// 1.0 / k. A tie picks the lower position; if rounding leaves u above t(k), the
// last position k - 1 is picked.
// REQUIRES: k >= 1. Draws nothing.
int pickPosition(double u, int k);

// Random branching order of n lines reduced to m lines: n - m triples
// {parent, first child, second child}, in event order, returned by value.
// Each event picks two lines uniformly from the lines still separate (two
// gsl_rng_uniform_pos draws from `r`, first child first), removes them keeping
// the order of the others, and appends the new parent n + i + 1.
// REQUIRES: 1 <= m <= n.
std::vector<Genealogy::Triple> createTopology(int n, int m);

// createTopology writing its triples into `triples` (resized to n - m) with
// `active` as the scratch active list; the same draws and result. For callers
// that keep both vectors across calls.
void createTopologyInto(int n, int m, std::vector<Genealogy::Triple>& triples,
                        std::vector<int32_t>& active);

// A new record for numbLines leaves and endLines top lines whose waiting times
// are `eventTimes` (numbLines - endLines of them) and whose events come from
// createTopology(numbLines, endLines). Every producer draws its waiting times
// first and then calls this, so the topology's draws come last. Caller owns it.
std::unique_ptr<Genealogy> buildGenealogy(int numbLines, int endLines,
                                          std::vector<double> eventTimes);

// buildGenealogy writing into the reused record `out` (every field
// overwritten), with `active` as the topology's scratch list.
void buildGenealogyInto(Genealogy& out, int numbLines, int endLines,
                        const std::vector<double>& eventTimes, std::vector<int32_t>& active);
