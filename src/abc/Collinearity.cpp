#include "abc/Collinearity.h"

#include <cmath>

namespace {

// Relative length of the unexplained part below which a column is dependent.
constexpr double kDependent = 1e-7;
// Coefficients (on unit-length columns) below this share of the largest do
// not name a partner.
constexpr double kPartner = 1e-6;

double dot(const std::vector<double>& a, const std::vector<double>& b) {
    double s = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) s += a[i] * b[i];
    return s;
}

// Scales `v` to unit length; returns its length before.
double normalise(std::vector<double>& v) {
    const double length = std::sqrt(dot(v, v));
    if (length > 0.0)
        for (double& x : v) x /= length;
    return length;
}

}  // namespace

IndependentColumns independentColumns(const std::vector<double>& predictors,
                                      std::size_t numbPredictors,
                                      const std::vector<double>& weights) {
    std::vector<double> root;
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i < weights.size(); ++i)
        if (weights[i] > 0.0) {
            rows.push_back(i);
            root.push_back(std::sqrt(weights[i]));
        }
    // Modified Gram-Schmidt, twice over each column for orthogonality to
    // rounding: q holds the orthonormal basis of the kept columns (the
    // intercept first), r the kept columns' coordinates in it (upper
    // triangular), so that kept column k = sum_i q_i r[i][k].
    std::vector<std::vector<double>> q, r;
    std::vector<std::size_t> basisColumn;  // per basis vector: its predictor, or npos (intercept)
    const std::size_t npos = static_cast<std::size_t>(-1);
    IndependentColumns out;
    for (std::size_t step = 0; step <= numbPredictors; ++step) {
        const std::size_t j = step == 0 ? npos : step - 1;
        std::vector<double> v(rows.size());
        for (std::size_t k = 0; k < rows.size(); ++k)
            v[k] = root[k] * (j == npos ? 1.0 : predictors[rows[k] * numbPredictors + j]);
        const double length = normalise(v);
        std::vector<double> t(q.size(), 0.0);  // coordinates of the unit column in q
        if (length > 0.0)
            for (int pass = 0; pass < 2; ++pass)
                for (std::size_t i = 0; i < q.size(); ++i) {
                    const double c = dot(q[i], v);
                    t[i] += c;
                    for (std::size_t k = 0; k < v.size(); ++k) v[k] -= c * q[i][k];
                }
        const double rest = std::sqrt(dot(v, v));
        if (length > 0.0 && rest > kDependent) {
            normalise(v);
            for (std::size_t i = 0; i < r.size(); ++i) r[i].push_back(t[i]);
            t.push_back(rest);
            r.push_back(std::vector<double>(q.size(), 0.0));
            r.back().push_back(rest);
            q.push_back(std::move(v));
            basisColumn.push_back(j);
            if (j != npos) out.kept.push_back(j);
            continue;
        }
        if (j == npos) continue;  // no row of positive weight: nothing is kept
        // The unit column is q t = (kept columns, unit length) R^-1 t: solve
        // R c = t upwards for its coefficients on the kept columns.
        std::vector<double> c(q.size(), 0.0);
        for (std::size_t i = q.size(); i-- > 0;) {
            double s = t[i];
            for (std::size_t k = i + 1; k < q.size(); ++k) s -= r[i][k] * c[k];
            c[i] = s / r[i][i];
        }
        double largest = 0.0;
        for (std::size_t i = 0; i < c.size(); ++i)
            if (basisColumn[i] != npos) largest = std::fmax(largest, std::fabs(c[i]));
        CollinearColumn dropped{j, {}};
        for (std::size_t i = 0; i < c.size(); ++i)
            if (basisColumn[i] != npos && std::fabs(c[i]) > kPartner * largest && largest > 0.0)
                dropped.with.push_back(basisColumn[i]);
        // A column that is the intercept again up to 1e-6 of the others'
        // share is constant for all practical purposes.
        if (largest < kPartner * std::fabs(c.empty() ? 0.0 : c[0])) dropped.with.clear();
        out.dropped.push_back(std::move(dropped));
    }
    return out;
}

std::vector<double> keptColumns(const std::vector<double>& predictors, std::size_t numbPredictors,
                                const std::vector<std::size_t>& kept) {
    const std::size_t rows = numbPredictors == 0 ? 0 : predictors.size() / numbPredictors;
    std::vector<double> out;
    out.reserve(rows * kept.size());
    for (std::size_t i = 0; i < rows; ++i)
        for (std::size_t j : kept) out.push_back(predictors[i * numbPredictors + j]);
    return out;
}

std::string collinearityText(const CollinearColumn& c, const std::vector<std::string>& names) {
    if (c.with.empty()) return names[c.column] + " is constant among the accepted rows";
    std::string text = names[c.column] + " is collinear with ";
    for (std::size_t i = 0; i < c.with.size(); ++i)
        text += (i == 0 ? "" : i + 1 == c.with.size() ? " and " : ", ") + names[c.with[i]];
    return text + " among the accepted rows";
}
