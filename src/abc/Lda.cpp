#include "abc/Lda.h"

#include <gsl/gsl_eigen.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_vector.h>

#include <cmath>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

namespace {

using MatrixPtr = std::unique_ptr<gsl_matrix, void (*)(gsl_matrix*)>;
using VectorPtr = std::unique_ptr<gsl_vector, void (*)(gsl_vector*)>;

MatrixPtr matrix(std::size_t n) {
    MatrixPtr m{gsl_matrix_calloc(n, n), gsl_matrix_free};
    if (!m) throw std::bad_alloc();
    return m;
}
VectorPtr vector(std::size_t n) {
    VectorPtr v{gsl_vector_calloc(n), gsl_vector_free};
    if (!v) throw std::bad_alloc();
    return v;
}

// The eigenvalues and eigenvectors (columns) of a symmetric matrix, in
// decreasing order of eigenvalue; `a` is overwritten. A symmetric matrix
// always has them; a failure (which GSL reports only for matrices of the
// wrong shape) is thrown as an error.
void symmetricEigen(gsl_matrix* a, gsl_vector* values, gsl_matrix* vectors) {
    std::unique_ptr<gsl_eigen_symmv_workspace, void (*)(gsl_eigen_symmv_workspace*)> work(
        gsl_eigen_symmv_alloc(a->size1), gsl_eigen_symmv_free);
    if (!work) throw std::bad_alloc();
    int status = gsl_eigen_symmv(a, values, vectors, work.get());
    if (status == GSL_SUCCESS)
        status = gsl_eigen_symmv_sort(values, vectors, GSL_EIGEN_SORT_VAL_DESC);
    if (status != GSL_SUCCESS)
        throw std::runtime_error(std::string("the linear discriminant axes cannot be found: ") +
                                 gsl_strerror(status));
}

}  // namespace

std::vector<double> LdaAxes::project(const std::vector<double>& point) const {
    std::vector<double> scores(axes(), 0.0);
    for (std::size_t a = 0; a < axes(); ++a)
        for (std::size_t f = 0; f < centre.size(); ++f)
            if (coefficients[a][f] != 0.0) scores[a] += (point[f] - centre[f]) * coefficients[a][f];
    return scores;
}

FeatureMatrix LdaAxes::projectRows(const FeatureMatrix& x) const {
    FeatureMatrix out{x.rows, axes(), std::vector<double>(x.rows * axes(), 0.0)};
    std::vector<double> point(x.cols);
    for (std::size_t r = 0; r < x.rows; ++r) {
        for (std::size_t f = 0; f < x.cols; ++f) point[f] = x.at(r, f);
        const std::vector<double> scores = project(point);
        for (std::size_t a = 0; a < axes(); ++a) out.values[a * x.rows + r] = scores[a];
    }
    return out;
}

LdaAxes ldaAxes(const FeatureMatrix& x, const std::vector<int>& labels, int classes) {
    if (classes < 2) throw std::invalid_argument("lda: fewer than two classes");
    if (labels.size() != x.rows || x.values.size() != x.rows * x.cols)
        throw std::invalid_argument("lda: one label per row needed");
    for (int k : labels)
        if (k < 0 || k >= classes) throw std::invalid_argument("lda: a label out of range");
    const std::size_t p = x.cols, K = static_cast<std::size_t>(classes);

    std::vector<bool> complete(x.rows, true);
    for (std::size_t f = 0; f < p; ++f)
        for (std::size_t r = 0; r < x.rows; ++r)
            if (std::isnan(x.at(r, f))) complete[r] = false;
    std::vector<double> size(K, 0.0), means(K * p, 0.0), centre(p, 0.0);
    double n = 0.0;
    for (std::size_t r = 0; r < x.rows; ++r) {
        if (!complete[r]) continue;
        const std::size_t k = static_cast<std::size_t>(labels[r]);
        size[k] += 1.0;
        n += 1.0;
        for (std::size_t f = 0; f < p; ++f) means[k * p + f] += x.at(r, f);
    }
    for (std::size_t k = 0; k < K; ++k)
        for (std::size_t f = 0; f < p; ++f)
            if (size[k] > 0) means[k * p + f] /= size[k];
    // The centre is the mean of the class means weighted by class size,
    // which is the mean row.
    for (std::size_t k = 0; k < K; ++k)
        for (std::size_t f = 0; f < p; ++f) centre[f] += size[k] * means[k * p + f] / n;

    LdaAxes out;
    out.centre = centre;
    out.coefficients.assign(K - 1, std::vector<double>(p, 0.0));
    std::size_t present = 0;
    for (double s : size)
        if (s > 0) ++present;
    const double freedom = n - static_cast<double>(present);
    if (!(freedom > 0) || present < 2) return out;

    // W on the features that vary within classes.
    std::vector<double> within(p * p, 0.0);
    std::vector<double> d(p);
    for (std::size_t r = 0; r < x.rows; ++r) {
        if (!complete[r]) continue;
        const std::size_t k = static_cast<std::size_t>(labels[r]);
        for (std::size_t f = 0; f < p; ++f) d[f] = x.at(r, f) - means[k * p + f];
        for (std::size_t f = 0; f < p; ++f)
            for (std::size_t g = 0; g <= f; ++g) within[f * p + g] += d[f] * d[g];
    }
    std::vector<std::size_t> used;
    for (std::size_t f = 0; f < p; ++f) {
        double total = 0.0;
        for (std::size_t r = 0; r < x.rows; ++r)
            if (complete[r]) total += (x.at(r, f) - centre[f]) * (x.at(r, f) - centre[f]);
        // Constant within classes: no variance left after the class means,
        // up to the rounding of the sums.
        if (within[f * p + f] > 1e-10 * total && within[f * p + f] > 0) used.push_back(f);
    }
    const std::size_t q = used.size();
    if (q == 0) return out;

    // W = U diag(l) U'; W^-1/2 = U diag(l^-1/2) U' on the eigenvalues above
    // a relative tolerance (a pseudo-inverse where features are collinear).
    MatrixPtr w = matrix(q), u = matrix(q);
    VectorPtr l = vector(q);
    for (std::size_t i = 0; i < q; ++i)
        for (std::size_t j = 0; j <= i; ++j) {
            const double v = within[used[i] * p + used[j]] / freedom;
            gsl_matrix_set(w.get(), i, j, v);
            gsl_matrix_set(w.get(), j, i, v);
        }
    symmetricEigen(w.get(), l.get(), u.get());
    MatrixPtr root = matrix(q);  // W^-1/2
    const double largest = gsl_vector_get(l.get(), 0);
    for (std::size_t e = 0; e < q; ++e) {
        const double le = gsl_vector_get(l.get(), e);
        if (!(le > 1e-10 * largest)) continue;
        for (std::size_t i = 0; i < q; ++i)
            for (std::size_t j = 0; j < q; ++j)
                *gsl_matrix_ptr(root.get(), i, j) +=
                    gsl_matrix_get(u.get(), i, e) * gsl_matrix_get(u.get(), j, e) / std::sqrt(le);
    }
    // M = W^-1/2 B W^-1/2, with B = sum_k (n_k / n) (m_k - m)(m_k - m)'.
    std::vector<double> z(q);
    MatrixPtr m = matrix(q);
    for (std::size_t k = 0; k < K; ++k) {
        if (size[k] == 0) continue;
        for (std::size_t i = 0; i < q; ++i) {
            z[i] = 0.0;
            for (std::size_t j = 0; j < q; ++j)
                z[i] +=
                    gsl_matrix_get(root.get(), i, j) * (means[k * p + used[j]] - centre[used[j]]);
        }
        for (std::size_t i = 0; i < q; ++i)
            for (std::size_t j = 0; j < q; ++j)
                *gsl_matrix_ptr(m.get(), i, j) += size[k] / n * z[i] * z[j];
    }
    MatrixPtr v = matrix(q);
    VectorPtr eig = vector(q);
    symmetricEigen(m.get(), eig.get(), v.get());
    const double top = gsl_vector_get(eig.get(), 0);
    for (std::size_t a = 0; a < K - 1 && a < q; ++a) {
        if (!(gsl_vector_get(eig.get(), a) > 1e-10 * top)) break;
        // a = W^-1/2 v: unit within-class variance since v'v = 1.
        std::vector<double>& c = out.coefficients[a];
        for (std::size_t i = 0; i < q; ++i) {
            double s = 0.0;
            for (std::size_t j = 0; j < q; ++j)
                s += gsl_matrix_get(root.get(), i, j) * gsl_matrix_get(v.get(), j, a);
            c[used[i]] = s;
        }
        std::size_t largestAt = 0;
        for (std::size_t f = 1; f < p; ++f)
            if (std::fabs(c[f]) > std::fabs(c[largestAt])) largestAt = f;
        if (c[largestAt] < 0)
            for (double& cf : c) cf = -cf;
    }
    return out;
}
