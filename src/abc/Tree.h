#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "abc/Binning.h"
#include "abc/TreeRandom.h"

// A node of a grown tree, 16 bytes. At a split, a point whose value of
// `feature` is <= `value` goes to the child `index`, any other (NaN
// included) to `index + 1`. At a leaf (`feature` < 0), `value` is the leaf's
// prediction (a mean response, or a class index) and `index` the leaf's
// number.
struct TreeNode {
    double value = 0.0;
    std::uint32_t index = 0;
    std::int32_t feature = -1;
};

// One tree of a forest with what the forest's out-of-bag answers and
// posterior weights need: the distinct in-bag rows grouped by leaf, with
// their in-bag counts, and the in-bag set as a bitmap.
struct Tree {
    std::vector<TreeNode> nodes;           // the root first
    std::vector<std::uint32_t> leafStart;  // leaf l: members[leafStart[l], leafStart[l+1])
    std::vector<std::uint32_t> members;    // in-bag rows, grouped by leaf
    std::vector<std::uint16_t> counts;     // in-bag count of each member
    std::vector<std::uint64_t> inBagBits;  // bit r set: row r is in bag
    std::vector<double> importance;        // impurity decrease per feature

    bool inBag(std::size_t row) const { return (inBagBits[row >> 6] >> (row & 63)) & 1u; }

    // The leaf node reached by a point whose value of feature f is value(f).
    template <class Value>
    const TreeNode& leaf(Value value) const {
        const TreeNode* node = &nodes[0];
        while (node->feature >= 0)
            node = &nodes[value(static_cast<std::size_t>(node->feature)) <= node->value
                              ? node->index
                              : node->index + 1];
        return *node;
    }
};

// How a tree grows. A node is split only while its in-bag count (with
// multiplicity) exceeds minNodeSize, as in the common convention where a
// minimum node size of 5 leaves leaves of 1 to 5 in-bag draws; it is left
// whole when its responses are all equal or no split lowers its impurity.
struct GrowSettings {
    int mtry = 1;
    int minNodeSize = 1;
};

// Grows a tree on a bootstrap sample of all the rows of `bins`, drawing
// from `random`: splits minimise the in-bag sum of squared deviations of y.
Tree growRegressionTree(const Binning& bins, const std::vector<double>& y,
                        const GrowSettings& settings, TreeRandom& random);

// The same with classes 0..classes-1 and the Gini impurity.
Tree growClassificationTree(const Binning& bins, const std::vector<int>& labels, int classes,
                            const GrowSettings& settings, TreeRandom& random);
