#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "abc/Binning.h"
#include "abc/FeatureMatrix.h"
#include "abc/Tree.h"

// How a forest is grown. Same seed and settings, same forest, to the byte,
// whatever `threads`.
struct ForestSettings {
    int trees = 500;
    int mtry = 0;         // features tried at each split; 0: floor(sqrt(p)), at least 1
    int minNodeSize = 0;  // nodes of at most this in-bag count are leaves; 0: 5
                          // for regression, 1 for classification
    unsigned long seed = 1;
    int threads = 1;
    // Each feature is cut once into at most this many quantile bins, and
    // splits fall between bins (2..65535). A feature with no more distinct
    // values is split exactly, between adjacent distinct values.
    int bins = 256;
    // Called once after each tree is grown, from the thread that grew it
    // (several at once with threads > 1): for a progress display, which must
    // be safe to call concurrently. It sees no result and changes none.
    std::function<void()> treeGrown;
};

// About how many bytes a regression forest of `trees` trees on `rows` rows
// of `features` features takes once grown (the trees with their leaves'
// members and the forest's copy of the features), for a check before
// growing it. An estimate for minimum node size 5, not a bound.
double regressionForestBytes(std::size_t rows, std::size_t features, int trees);

// The trees of a forest with the training features they were grown on;
// what the regression and classification forests share.
class ForestBase {
  public:
    std::size_t rows() const { return x_.rows; }
    std::size_t features() const { return x_.cols; }
    std::size_t treeCount() const { return trees_.size(); }
    const Tree& tree(std::size_t t) const { return trees_[t]; }

    // Impurity importance: for each feature, the decrease of impurity
    // (regression: in-bag sum of squared deviations; classification: Gini
    // impurity times in-bag count) summed over the splits on the feature,
    // averaged over the trees.
    const std::vector<double>& importance() const { return importance_; }

  protected:
    ForestBase(const FeatureMatrix& x, const ForestSettings& settings, int defaultMinNodeSize);
    template <class Grow>
    void growTrees(Grow grow);
    // Weights over the training rows: each tree in `use` spreads 1 over the
    // in-bag rows of the leaf the point reaches, in proportion to their
    // in-bag counts; the sum is divided by the number of trees used.
    template <class Value, class Use>
    std::vector<double> leafWeights(Value value, Use use) const;
    void checkPoint(const std::vector<double>& point) const;

    FeatureMatrix x_;
    ForestSettings settings_;
    GrowSettings grow_;
    Binning bins_;
    std::vector<Tree> trees_;
    std::vector<double> importance_;
};

// A regression forest of a response on the features (mean of the trees'
// leaf means). Owns a copy of the training features.
class RegressionForest : public ForestBase {
  public:
    // Grows the forest. REQUIRES: y.size() == x.rows >= 1, x.cols >= 1,
    // settings.trees >= 1. Throws std::invalid_argument otherwise.
    RegressionForest(const FeatureMatrix& x, const std::vector<double>& y,
                     const ForestSettings& settings = {});

    // The prediction at a point of features() values (NaN: missing).
    double predict(const std::vector<double>& point) const;

    // Quantile-regression-forest weights of the training rows at a point:
    // n weights summing to 1, with sum_i w_i y_i equal to predict(point)
    // up to rounding.
    std::vector<double> posteriorWeights(const std::vector<double>& point) const;

    // The weights of posteriorWeights at the training row's own features,
    // from only the trees where the row is out of bag (all zero when there
    // is none).
    std::vector<double> oobWeights(std::size_t row) const;

    // Each training row's mean prediction over the trees where it is out of
    // bag; NaN for a row in every bootstrap.
    const std::vector<double>& oobPredictions() const { return oob_; }

    // The mean squared error of the out-of-bag predictions over the rows
    // that have one (NaN when none has).
    double oobMeanSquaredError() const { return oobError_; }

  private:
    std::vector<double> y_;
    std::vector<double> oob_;
    double oobError_;
};

// A classification forest of classes 0..K-1: each tree votes for the class
// of its leaf. Owns a copy of the training features.
class ClassificationForest : public ForestBase {
  public:
    // Grows the forest. REQUIRES: labels.size() == x.rows >= 1, every label
    // in [0, classes), x.cols >= 1, settings.trees >= 1. Throws
    // std::invalid_argument otherwise.
    ClassificationForest(const FeatureMatrix& x, const std::vector<int>& labels, int classes,
                         const ForestSettings& settings = {});

    std::size_t classes() const { return classes_; }

    // The fraction of the trees voting for each class at a point.
    std::vector<double> voteShares(const std::vector<double>& point) const;

    // The class most voted at a point, ties to the lowest index.
    int predict(const std::vector<double>& point) const;

    // Each training row's class most voted by the trees where it is out of
    // bag (ties to the lowest index); -1 for a row in every bootstrap.
    const std::vector<int>& oobPredictions() const { return oob_; }

    // The fraction of misclassified rows among those with an out-of-bag
    // prediction (NaN when none has).
    double oobErrorRate() const { return oobError_; }

    // confusion[true class][out-of-bag class]: counts of the rows with an
    // out-of-bag prediction.
    const std::vector<std::vector<std::size_t>>& oobConfusion() const { return confusion_; }

  private:
    std::size_t classes_;
    std::vector<int> labels_;
    std::vector<int> oob_;
    double oobError_;
    std::vector<std::vector<std::size_t>> confusion_;
};
