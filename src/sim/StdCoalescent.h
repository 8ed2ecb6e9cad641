#pragma once

#include <memory>
#include <vector>

#include "sim/Genealogy.h"
#include "sim/GrowthPhase.h"

// The n - 1 waiting times of the standard coalescent of n lines, most recent
// first: entry i (k = n - i lines present) is an exponential variate of mean
// 2 / (k (k - 1)) drawn from `r`. Empty when n <= 1. Returned by value.
std::vector<double> drawStdIntervals(int n);
void drawStdIntervalsInto(int n, std::vector<double>& stdIntervals);

// Complete genealogy of n lines under the constant-size coalescent, in
// coalescent units (k lines merge at total rate k (k - 1) / 2): n - 1 waiting
// times, then the topology. New record owned by the caller.
// REQUIRES: n >= 1.
std::unique_ptr<Genealogy> simStdCoal(int n);

// simStdCoal writing into the reused record `out`, with `work` as scratch:
// the same draws and record.
void simStdCoalInto(Genealogy& out, CoalescentBuffers& work, int n);
