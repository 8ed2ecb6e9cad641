#pragma once

#include <array>

#include "sim/Params.h"

// One parameter set drawn from the priors, in the order of the results
// columns: My, TimeToOri, PopSizeOriTha, PopSizePreTha, PopSizeOriSue,
// PopSizePreSue.
using PriorDraw = std::array<double, 6>;

// Slots of a PriorDraw.
enum PriorSlot { My = 0, TimeToOri, PopSizeOriTha, PopSizePreTha, PopSizeOriSue, PopSizePreSue };

// Draws a parameter set uniformly on the natural scale from the ranges in `p`.
// A present size is drawn from max(drawn founding size, its lower bound) to
// its upper bound, so that both populations grow from the founding to the
// present. Makes exactly six draws from `r`, in slot order, each range tested
// just before its draw: a range whose upper bound is not above its lower bound
// prints "error: parameters: ..." and ends the process with status 1.
PriorDraw simulateParams(const params& p);

// As simulateParams, with every bound in `p` read as a base-10 logarithm: the
// draws are uniform on that scale and the slots hold 10 to the drawn value.
PriorDraw simulateParamsLog10(const params& p);

// True when a draw from [lower, upper) ends the run: the upper bound is not
// above the lower one (a bound that is not a number passes).
bool rangeIsEmpty(double lower, double upper);
