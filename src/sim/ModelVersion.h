#pragma once

// Which version of the simulation model a run uses.
//
// current: a pair of lines coalesces at rate 1/N(t) per unit of real time, and
// the growth phase has one clock. The drawn standard-coalescent intervals are
// the event intervals themselves; the growth form of coalTime2realTime alone
// maps them to real time. The founder count of the founder-count model follows
// the occupancy law of lines choosing founders uniformly.
//
// legacy: the model as the program first computed it, kept bit for bit so that
// earlier results can be reproduced. The growth-phase intervals are
// transformed for growth before that rescaling, which changes the clock twice
// and makes lines coalesce too early when founding sizes are small; and the
// founder count compares the expected number of empty founder sets,
// C(c, j + 1) (1 - (j + 1) / c)^L, with the uniform variate as if it were a
// probability.
enum class ModelVersion { current, legacy };
