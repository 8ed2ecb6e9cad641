#include "abc/Tree.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace {

// A distinct in-bag row, its in-bag count and its response (regression:
// y minus the mean of all y, so that the sums below lose few digits to a
// large mean; classification: the class).
struct Member {
    std::uint32_t row;
    std::uint32_t count;
    double response;
};

// The regression criterion. A node's statistics are {weight, weighted sum
// of responses}; a split's score sumL^2/wL + sumR^2/wR exceeds the node's
// sum^2/w by the decrease of the in-bag sum of squared deviations.
class VarianceRule {
  public:
    explicit VarianceRule(const std::vector<double>& y) : y_(y.data()) {
        for (double v : y) offset_ += v / static_cast<double>(y.size());
    }
    static constexpr std::size_t width() { return 2; }
    double response(std::uint32_t row) const { return y_[row] - offset_; }

    // The node's statistics into `total`; false when every response is
    // equal.
    bool prepare(const Member* m, std::size_t count, double* total) {
        double w = 0.0, sum = 0.0, squares = 0.0, low = m[0].response, high = low;
        for (std::size_t i = 0; i < count; ++i) {
            const double v = m[i].response;
            w += m[i].count;
            sum += m[i].count * v;
            squares += m[i].count * v * v;
            low = std::min(low, v);
            high = std::max(high, v);
        }
        total[0] = w;
        total[1] = sum;
        impurity_ = squares - sum * sum / w;
        return low < high;
    }
    static void add(double* s, const Member& m) {
        s[0] += m.count;
        s[1] += m.count * m.response;
    }
    static double score(const double* s) { return s[1] * s[1] / s[0]; }
    // The sum of squared deviations (a scale for rounding, not exact).
    double impurity() const { return impurity_; }
    // The in-bag-count-weighted mean of the (original) responses.
    double leafValue(const Member* m, std::size_t count) const {
        double w = 0.0, sum = 0.0;
        for (std::size_t i = 0; i < count; ++i) {
            w += m[i].count;
            sum += m[i].count * y_[m[i].row];
        }
        return sum / w;
    }

  private:
    const double* y_;
    double offset_ = 0.0;
    double impurity_ = 0.0;
};

// The classification criterion: statistics {weight, weight of class 0, ...},
// score sum_k c_k^2 / w, whose increase is the decrease of Gini impurity
// times the node's weight.
class GiniRule {
  public:
    GiniRule(const std::vector<int>& labels, int classes)
        : labels_(labels.data()), classes_(static_cast<std::size_t>(classes)) {}
    std::size_t width() const { return classes_ + 1; }
    double response(std::uint32_t row) const { return labels_[row]; }

    // The node's statistics into `total`; false when it holds one class.
    bool prepare(const Member* m, std::size_t count, double* total) {
        std::fill(total, total + width(), 0.0);
        for (std::size_t i = 0; i < count; ++i) add(total, m[i]);
        std::size_t present = 0;
        for (std::size_t k = 1; k <= classes_; ++k)
            if (total[k] > 0) ++present;
        impurity_ = total[0] - score(total);
        leafClass_ = 0;
        for (std::size_t k = 1; k < classes_; ++k)
            if (total[1 + k] > total[1 + leafClass_]) leafClass_ = k;
        return present > 1;
    }
    static void add(double* s, const Member& m) {
        s[0] += m.count;
        s[1 + static_cast<std::size_t>(m.response)] += m.count;
    }
    double score(const double* s) const {
        double squares = 0.0;
        for (std::size_t k = 1; k <= classes_; ++k) squares += s[k] * s[k];
        return squares / s[0];
    }
    double impurity() const { return impurity_; }
    // The class of largest in-bag count, ties to the lowest index, of the
    // node `prepare` saw last.
    double leafValue(const Member*, std::size_t) const { return static_cast<double>(leafClass_); }

  private:
    const int* labels_;
    std::size_t classes_;
    double impurity_ = 0.0;
    std::size_t leafClass_ = 0;
};

struct Split {
    double gain = -std::numeric_limits<double>::infinity();
    std::size_t feature = 0;
    std::uint32_t below = 0, above = 0;  // the last bin left, the first right
};

template <class Rule>
class Grower {
  public:
    Grower(const Binning& bins, Rule rule, const GrowSettings& settings, TreeRandom& random)
        : bins_(bins),
          rule_(std::move(rule)),
          settings_(settings),
          random_(random),
          features_(bins.binCount.size()) {
        std::iota(features_.begin(), features_.end(), std::size_t{0});
        left_.resize(rule_.width());
        total_.resize(rule_.width());
        right_.resize(rule_.width());
    }

    Tree grow() {
        const std::size_t n = bins_.rows;
        Tree tree;
        tree.importance.assign(features_.size(), 0.0);
        tree.inBagBits.assign((n + 63) / 64, 0);
        // The bootstrap: n draws with replacement. A count is kept in 16
        // bits; a draw that would pass 65535 (an event of probability far
        // below 1/65535!) is drawn again.
        std::vector<std::uint16_t> drawn(n, 0);
        for (std::size_t i = 0; i < n; ++i) {
            std::size_t r;
            do r = static_cast<std::size_t>(random_.below(n));
            while (drawn[r] == UINT16_MAX);
            ++drawn[r];
        }
        for (std::size_t r = 0; r < n; ++r)
            if (drawn[r]) {
                members_.push_back({static_cast<std::uint32_t>(r), drawn[r],
                                    rule_.response(static_cast<std::uint32_t>(r))});
                tree.inBagBits[r >> 6] |= std::uint64_t{1} << (r & 63);
            }
        drawn = {};

        struct Pending {
            std::size_t node, begin, end;
        };
        std::vector<Pending> pending{{0, 0, members_.size()}};
        tree.nodes.emplace_back();
        // Depth first, left before right: leaves are finished in the order
        // of their members, so each leaf's members are one run.
        while (!pending.empty()) {
            const Pending p = pending.back();
            pending.pop_back();
            const Member* m = members_.data() + p.begin;
            const std::size_t count = p.end - p.begin;
            const bool mixed = rule_.prepare(m, count, total_.data());
            parentScore_ = rule_.score(total_.data());
            Split split;
            if (mixed && total_[0] > settings_.minNodeSize) split = bestSplit(p.begin, p.end);
            const double decrease = split.gain - parentScore_;
            // A split must lower the impurity by more than rounding can.
            if (!(decrease > std::max(0.0, 1e-12 * rule_.impurity()))) {
                TreeNode& leaf = tree.nodes[p.node];
                leaf.feature = -1;
                leaf.value = rule_.leafValue(m, count);
                leaf.index = static_cast<std::uint32_t>(tree.leafStart.size());
                tree.leafStart.push_back(static_cast<std::uint32_t>(p.begin));
                continue;
            }
            tree.importance[split.feature] += decrease;
            const std::size_t middle = partition(p.begin, p.end, split);
            const std::size_t child = tree.nodes.size();
            TreeNode& node = tree.nodes[p.node];
            node.feature = static_cast<std::int32_t>(split.feature);
            node.value = bins_.threshold(split.feature, split.below, split.above);
            node.index = static_cast<std::uint32_t>(child);
            tree.nodes.emplace_back();
            tree.nodes.emplace_back();
            pending.push_back({child + 1, middle, p.end});
            pending.push_back({child, p.begin, middle});
        }
        tree.leafStart.push_back(static_cast<std::uint32_t>(members_.size()));
        tree.members.resize(members_.size());
        tree.counts.resize(members_.size());
        for (std::size_t i = 0; i < members_.size(); ++i) {
            tree.members[i] = members_[i].row;
            tree.counts[i] = static_cast<std::uint16_t>(members_[i].count);
        }
        tree.nodes.shrink_to_fit();
        tree.leafStart.shrink_to_fit();
        return tree;
    }

  private:
    // The best split of members_[begin, end) over mtry features drawn
    // without replacement; gain -inf when no feature takes two values.
    Split bestSplit(std::size_t begin, std::size_t end) {
        Split best;
        const std::size_t p = features_.size();
        const std::size_t mtry = std::min(p, static_cast<std::size_t>(settings_.mtry));
        for (std::size_t j = 0; j < mtry; ++j) {
            std::swap(features_[j], features_[j + random_.below(p - j)]);
            const std::size_t f = features_[j];
            const std::size_t bins = bins_.binCount[f] + 1;
            // A histogram over the bins costs one pass plus the bins; a
            // sort of the node's codes is cheaper in small nodes.
            if (bins <= 4 * (end - begin))
                searchHistogram(f, bins, begin, end, best);
            else
                searchSorted(f, begin, end, best);
        }
        return best;
    }

    // Considers the boundary between bin `below` (last left) and `above`.
    void consider(std::size_t f, std::uint32_t below, std::uint32_t above, Split& best) {
        for (std::size_t k = 0; k < rule_.width(); ++k) right_[k] = total_[k] - left_[k];
        if (!(left_[0] > 0 && right_[0] > 0)) return;
        const double gain = rule_.score(left_.data()) + rule_.score(right_.data());
        if (gain > best.gain) best = {gain, f, below, above};
    }

    void searchHistogram(std::size_t f, std::size_t bins, std::size_t begin, std::size_t end,
                         Split& best) {
        const std::uint16_t* codes = bins_.column(f);
        const std::size_t width = rule_.width();
        histogram_.assign(bins * width, 0.0);
        for (std::size_t i = begin; i < end; ++i)
            rule_.add(&histogram_[codes[members_[i].row] * width], members_[i]);
        std::fill(left_.begin(), left_.end(), 0.0);
        bool started = false;
        std::uint32_t previous = 0;
        for (std::size_t b = 0; b < bins; ++b) {
            const double* h = &histogram_[b * width];
            if (h[0] == 0.0) continue;
            if (started) consider(f, previous, static_cast<std::uint32_t>(b), best);
            for (std::size_t k = 0; k < rule_.width(); ++k) left_[k] += h[k];
            previous = static_cast<std::uint32_t>(b);
            started = true;
        }
    }

    void searchSorted(std::size_t f, std::size_t begin, std::size_t end, Split& best) {
        const std::uint16_t* codes = bins_.column(f);
        keys_.clear();
        for (std::size_t i = begin; i < end; ++i)
            keys_.push_back(std::uint64_t{codes[members_[i].row]} << 32 | (i - begin));
        std::sort(keys_.begin(), keys_.end());
        std::fill(left_.begin(), left_.end(), 0.0);
        for (std::size_t j = 0; j < keys_.size(); ++j) {
            const std::uint32_t code = static_cast<std::uint32_t>(keys_[j] >> 32);
            if (j > 0) {
                const std::uint32_t previous = static_cast<std::uint32_t>(keys_[j - 1] >> 32);
                if (code != previous) consider(f, previous, code, best);
            }
            rule_.add(left_.data(), members_[begin + (keys_[j] & 0xffffffffu)]);
        }
    }

    // Puts the members that go left first; returns the first that goes
    // right. Written out (not std::partition) so that the order, and with
    // it every later sum, is the same with any standard library.
    std::size_t partition(std::size_t begin, std::size_t end, const Split& split) {
        const std::uint16_t* codes = bins_.column(split.feature);
        std::size_t i = begin, j = end;
        for (;;) {
            while (i < j && codes[members_[i].row] <= split.below) ++i;
            while (i < j && codes[members_[j - 1].row] > split.below) --j;
            if (i >= j) return i;
            std::swap(members_[i], members_[j - 1]);
        }
    }

    const Binning& bins_;
    Rule rule_;
    GrowSettings settings_;
    TreeRandom& random_;
    std::vector<std::size_t> features_;
    std::vector<Member> members_;
    std::vector<double> histogram_, left_, right_, total_;
    std::vector<std::uint64_t> keys_;
    double parentScore_ = 0.0;
};

}  // namespace

Tree growRegressionTree(const Binning& bins, const std::vector<double>& y,
                        const GrowSettings& settings, TreeRandom& random) {
    return Grower<VarianceRule>(bins, VarianceRule(y), settings, random).grow();
}

Tree growClassificationTree(const Binning& bins, const std::vector<int>& labels, int classes,
                            const GrowSettings& settings, TreeRandom& random) {
    return Grower<GiniRule>(bins, GiniRule(labels, classes), settings, random).grow();
}
