#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sim/Genealogy.h"

// Sets every entry (parent and both children) of the first `count` triples of
// `list` that equals `key` to `value`. The merges use it to renumber nodes in
// their own working copies; it is the one operation here that changes its
// argument.
// REQUIRES: 0 <= count <= list.size().
void replaceNode(std::vector<Genealogy::Triple>& list, int count, int key, int value);

// Joins the genealogies of two populations side by side into one record whose
// events are those of both inputs in the order of their cumulative times (on a
// tie A's event comes first). A's leaves keep 1..s, B's leaf u becomes s + u,
// and the node made at merged position i is s + t + i + 1 (s, t the leaf
// counts of A and B). endLines is the sum of both inputs' endLines.
// The inputs are only read; the caller owns the result.
std::unique_ptr<Genealogy> merge2parallelGen(const Genealogy& A, const Genealogy& B);

// Reusable working storage of merge2parallelGenInto; its contents between
// calls mean nothing.
struct ParallelMergeBuffers {
    std::vector<double> cumA, cumB;               // cumulative times of each input
    std::vector<int32_t> newNumberA, newNumberB;  // final number of each input's nodes
};

// merge2parallelGen writing into `out` (every field overwritten, its storage
// reused), with `work` as scratch. For the per-locus loop, which merges once
// per locus and keeps both objects.
void merge2parallelGenInto(const Genealogy& A, const Genealogy& B, Genealogy& out,
                           ParallelMergeBuffers& work);
