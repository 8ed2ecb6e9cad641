#include "abc/Forest.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "abc/Parallel.h"

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

// Out-of-bag answers are computed for blocks of rows, each on one thread,
// tree after tree: a tree's nodes stay in cache over the block. Each row
// still sums its trees in their order, so the block size changes no bytes.
constexpr std::size_t rowBlock = 256;

// Calls visit(row, tree) for every row and every tree where the row is out
// of bag, in increasing tree order for each row.
template <class Visit>
void forEachOutOfBag(const std::vector<Tree>& trees, std::size_t rows, int threads, Visit visit) {
    forEachIndex((rows + rowBlock - 1) / rowBlock, threads, [&](std::size_t block) {
        const std::size_t end = std::min(rows, (block + 1) * rowBlock);
        for (const Tree& tree : trees)
            for (std::size_t r = block * rowBlock; r < end; ++r)
                if (!tree.inBag(r)) visit(r, tree);
    });
}

}  // namespace

double regressionForestBytes(std::size_t rows, std::size_t features, int trees) {
    // A bootstrap holds about 63 % of the rows, each a member of 4 bytes and
    // a count of 2; leaves of 5 or fewer draws hold about 2 distinct rows,
    // and each leaf takes two nodes of 16 bytes (itself and half its
    // parent's pair) and a start of 4; the in-bag bitmap takes a bit per
    // row. About 15 bytes a row per tree, as grown forests take.
    const double n = static_cast<double>(rows);
    const double perTree = n * (0.632 * 6.0 + 0.632 / 2.0 * (2.0 * 16.0 + 4.0) + 0.125) +
                           8.0 * static_cast<double>(features) + 256.0;
    // The features are kept twice: as values (8 bytes) and as bin codes (2).
    return perTree * trees + n * static_cast<double>(features) * 10.0;
}

ForestBase::ForestBase(const FeatureMatrix& x, const ForestSettings& settings,
                       int defaultMinNodeSize)
    : x_(x), settings_(settings) {
    if (x.rows == 0 || x.cols == 0 || x.values.size() != x.rows * x.cols)
        throw std::invalid_argument("forest: the feature matrix is empty or of the wrong size");
    if (x.rows > UINT32_MAX) throw std::invalid_argument("forest: more than 2^32 - 1 rows");
    if (settings.trees < 1) throw std::invalid_argument("forest: fewer than one tree");
    if (settings.mtry < 0 || static_cast<std::size_t>(settings.mtry) > x.cols)
        throw std::invalid_argument("forest: mtry outside 0..number of features");
    if (settings.minNodeSize < 0) throw std::invalid_argument("forest: negative node size");
    grow_.mtry = settings.mtry > 0
                     ? settings.mtry
                     : std::max(1, static_cast<int>(std::floor(std::sqrt(double(x.cols)))));
    grow_.minNodeSize = settings.minNodeSize > 0 ? settings.minNodeSize : defaultMinNodeSize;
    bins_ = binFeatures(x_, settings.bins, settings.threads);
}

template <class Grow>
void ForestBase::growTrees(Grow grow) {
    trees_.resize(static_cast<std::size_t>(settings_.trees));
    forEachIndex(trees_.size(), settings_.threads, [&](std::size_t t) {
        TreeRandom random(settings_.seed, t);
        trees_[t] = grow(random);
        if (settings_.treeGrown) settings_.treeGrown();
    });
    importance_.assign(x_.cols, 0.0);
    for (const Tree& tree : trees_)
        for (std::size_t f = 0; f < x_.cols; ++f) importance_[f] += tree.importance[f];
    for (double& v : importance_) v /= static_cast<double>(trees_.size());
}

template <class Value, class Use>
std::vector<double> ForestBase::leafWeights(Value value, Use use) const {
    std::vector<double> weights(x_.rows, 0.0);
    std::size_t used = 0;
    for (std::size_t t = 0; t < trees_.size(); ++t) {
        if (!use(t)) continue;
        const Tree& tree = trees_[t];
        const std::uint32_t leaf = tree.leaf(value).index;
        const std::size_t begin = tree.leafStart[leaf], end = tree.leafStart[leaf + 1];
        double total = 0.0;
        for (std::size_t i = begin; i < end; ++i) total += tree.counts[i];
        for (std::size_t i = begin; i < end; ++i)
            weights[tree.members[i]] += tree.counts[i] / total;
        ++used;
    }
    if (used > 0)
        for (double& w : weights) w /= static_cast<double>(used);
    return weights;
}

void ForestBase::checkPoint(const std::vector<double>& point) const {
    if (point.size() != x_.cols)
        throw std::invalid_argument("forest: a point needs one value per feature");
}

RegressionForest::RegressionForest(const FeatureMatrix& x, const std::vector<double>& y,
                                   const ForestSettings& settings)
    : ForestBase(x, settings, 5), y_(y) {
    if (y.size() != x.rows) throw std::invalid_argument("forest: one response per row needed");
    for (double v : y)
        if (!std::isfinite(v)) throw std::invalid_argument("forest: a response is not finite");
    growTrees([&](TreeRandom& random) { return growRegressionTree(bins_, y_, grow_, random); });

    std::vector<double> sums(x.rows, 0.0);
    std::vector<std::uint32_t> counts(x.rows, 0);
    forEachOutOfBag(trees_, x.rows, settings.threads, [&](std::size_t r, const Tree& tree) {
        sums[r] += tree.leaf([&](std::size_t f) { return x_.at(r, f); }).value;
        ++counts[r];
    });
    oob_.assign(x.rows, notANumber);
    for (std::size_t r = 0; r < x.rows; ++r)
        if (counts[r] > 0) oob_[r] = sums[r] / counts[r];
    double squares = 0.0;
    std::size_t counted = 0;
    for (std::size_t r = 0; r < x.rows; ++r) {
        if (std::isnan(oob_[r])) continue;
        const double d = oob_[r] - y_[r];
        squares += d * d;
        ++counted;
    }
    oobError_ = counted > 0 ? squares / static_cast<double>(counted) : notANumber;
}

double RegressionForest::predict(const std::vector<double>& point) const {
    checkPoint(point);
    double sum = 0.0;
    for (const Tree& tree : trees_) sum += tree.leaf([&](std::size_t f) { return point[f]; }).value;
    return sum / static_cast<double>(trees_.size());
}

std::vector<double> RegressionForest::posteriorWeights(const std::vector<double>& point) const {
    checkPoint(point);
    return leafWeights([&](std::size_t f) { return point[f]; }, [](std::size_t) { return true; });
}

std::vector<double> RegressionForest::oobWeights(std::size_t row) const {
    if (row >= x_.rows) throw std::out_of_range("forest: no such row");
    return leafWeights([&](std::size_t f) { return x_.at(row, f); },
                       [&](std::size_t t) { return !trees_[t].inBag(row); });
}

ClassificationForest::ClassificationForest(const FeatureMatrix& x, const std::vector<int>& labels,
                                           int classes, const ForestSettings& settings)
    : ForestBase(x, settings, 1),
      classes_(classes > 0 ? static_cast<std::size_t>(classes) : 0),
      labels_(labels) {
    if (classes < 1) throw std::invalid_argument("forest: fewer than one class");
    if (labels.size() != x.rows) throw std::invalid_argument("forest: one label per row needed");
    for (int k : labels)
        if (k < 0 || k >= classes) throw std::invalid_argument("forest: a label out of range");
    growTrees([&](TreeRandom& random) {
        return growClassificationTree(bins_, labels_, classes, grow_, random);
    });

    std::vector<std::uint32_t> votes(x.rows * classes_, 0);
    forEachOutOfBag(trees_, x.rows, settings.threads, [&](std::size_t r, const Tree& tree) {
        const double k = tree.leaf([&](std::size_t f) { return x_.at(r, f); }).value;
        ++votes[r * classes_ + static_cast<std::size_t>(k)];
    });
    oob_.assign(x.rows, -1);
    for (std::size_t r = 0; r < x.rows; ++r) {
        const std::uint32_t* v = &votes[r * classes_];
        std::size_t best = 0, total = v[0];
        for (std::size_t k = 1; k < classes_; ++k) {
            total += v[k];
            if (v[k] > v[best]) best = k;
        }
        if (total > 0) oob_[r] = static_cast<int>(best);
    }
    confusion_.assign(classes_, std::vector<std::size_t>(classes_, 0));
    std::size_t counted = 0, wrong = 0;
    for (std::size_t r = 0; r < x.rows; ++r) {
        if (oob_[r] < 0) continue;
        ++confusion_[static_cast<std::size_t>(labels_[r])][static_cast<std::size_t>(oob_[r])];
        ++counted;
        if (oob_[r] != labels_[r]) ++wrong;
    }
    oobError_ = counted > 0 ? double(wrong) / double(counted) : notANumber;
}

std::vector<double> ClassificationForest::voteShares(const std::vector<double>& point) const {
    checkPoint(point);
    std::vector<double> shares(classes_, 0.0);
    for (const Tree& tree : trees_)
        shares[static_cast<std::size_t>(
            tree.leaf([&](std::size_t f) { return point[f]; }).value)] += 1.0;
    for (double& s : shares) s /= static_cast<double>(trees_.size());
    return shares;
}

int ClassificationForest::predict(const std::vector<double>& point) const {
    const std::vector<double> shares = voteShares(point);
    std::size_t best = 0;
    for (std::size_t k = 1; k < shares.size(); ++k)
        if (shares[k] > shares[best]) best = k;
    return static_cast<int>(best);
}
