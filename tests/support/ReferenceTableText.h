#pragma once

#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

// Reference tables exactly as a run writes them, for the table tests.

struct TableRow {
    std::array<double, 7> params;
    std::array<double, 12> stats;
};

// The shortest text that reads back as x; NaN, Inf and -Inf spelt so.
inline std::string tableNumber(double x) {
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
    char buf[64];
    auto end = std::to_chars(buf, buf + sizeof buf, x).ptr;
    return std::string(buf, end);
}

inline const char* tableStatHeader() {
    return "S_sue\tS_tha\tNAL_sue\tNAL_tha\tHET_sue\tHET_tha\tVAR_sue\tVAR_tha\tMGW_sue\tMGW_tha\t"
           "DM2\tFST";
}

inline std::string tableText(const std::vector<TableRow>& rows) {
    std::string text = std::string("sim\tMy\tTimeToOri\tPopSizeOriTha\tPopSizePreTha\t") +
                       "PopSizeOriSue\tPopSizePreSue\tFracSueMono\t" + tableStatHeader() +
                       "\tDS\taccepted\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        text += std::to_string(i + 1);
        for (double p : rows[i].params) text += "\t" + tableNumber(p);
        for (double s : rows[i].stats) text += "\t" + tableNumber(s);
        text += "\t0.5\t" + std::string(i % 3 ? "0" : "1") + "\n";
    }
    return text;
}

inline std::string observedText(const std::array<double, 12>& stats) {
    std::string text = std::string(tableStatHeader()) + "\n";
    for (std::size_t j = 0; j < stats.size(); ++j) text += (j ? "\t" : "") + tableNumber(stats[j]);
    return text + "\n";
}

// Writes `text` gzip-compressed to `path`.
inline bool writeGzip(const std::string& path, const std::string& text) {
    gzFile f = gzopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = gzwrite(f, text.data(), static_cast<unsigned>(text.size())) ==
              static_cast<int>(text.size());
    return gzclose(f) == Z_OK && ok;
}

// The toy model with a known posterior. log(My) ~ U(0, 10) and TimeToOri
// ~ U(-5, 5) (negative on purpose: it is then adjusted on its own scale);
// each is measured twice with independent Gaussian noise of SD 0.5 and 1:
//   S_sue = log My + e1, S_tha = log My + e2, NAL_sue = T + e3, NAL_tha = T + e4.
// The other parameters are drawn independently of every statistic, the other
// statistics are standard normal noise, and FST is always 0.
inline std::vector<TableRow> toyRows(std::size_t n, unsigned long seed) {
    std::unique_ptr<gsl_rng, void (*)(gsl_rng*)> rng(gsl_rng_alloc(gsl_rng_mt19937), gsl_rng_free);
    gsl_rng_set(rng.get(), seed);
    gsl_rng* g = rng.get();
    std::vector<TableRow> rows(n);
    for (TableRow& row : rows) {
        const double u = gsl_ran_flat(g, 0, 10), t = gsl_ran_flat(g, -5, 5);
        row.params = {std::exp(u),
                      t,
                      gsl_ran_flat(g, 1, 1000),
                      gsl_ran_flat(g, 1, 1e4),
                      gsl_ran_flat(g, 1, 50),
                      gsl_ran_flat(g, 1, 5000),
                      static_cast<double>(gsl_rng_uniform_int(g, 11)) / 10};
        row.stats[0] = u + gsl_ran_gaussian(g, 0.5);
        row.stats[1] = u + gsl_ran_gaussian(g, 1.0);
        row.stats[2] = t + gsl_ran_gaussian(g, 0.5);
        row.stats[3] = t + gsl_ran_gaussian(g, 1.0);
        for (std::size_t j = 4; j < 11; ++j) row.stats[j] = gsl_ran_gaussian(g, 1.0);
        row.stats[11] = 0.0;
    }
    return rows;
}

// The toy's priors file: log My log-uniform on (1, e^10), TimeToOri uniform
// on (-5, 5), the others uniform on the ranges they are drawn from; the
// table is complete with `rows` rows.
inline std::string toyPriorsText(std::size_t rows) {
    std::string text = "parameter\tdistribution\tlower\tupper\nMy\tlog-uniform\t1\t" +
                       tableNumber(std::exp(10.0)) + "\nTimeToOri\tuniform\t-5\t5\n";
    return text + "PopSizeOriTha\tuniform\t1\t1000\nPopSizePreTha\tuniform\t1\t10000\n"
                  "PopSizeOriSue\tuniform\t1\t50\nPopSizePreSue\tuniform\t1\t5000\n"
                  "# complete: " + std::to_string(rows) + " simulations\n";
}

// The toy table of a run that drew GsmP: the column after PopSizePreSue,
// in (0.1, 0.6) and carried by log My (0.1 + 0.05 log My plus noise from its
// own generator, seeded `seed`), so the data inform it as they inform My.
inline std::string tableTextWithGsmP(const std::vector<TableRow>& rows, unsigned long seed) {
    std::unique_ptr<gsl_rng, void (*)(gsl_rng*)> rng(gsl_rng_alloc(gsl_rng_mt19937), gsl_rng_free);
    gsl_rng_set(rng.get(), seed);
    std::string text = tableText(rows);
    const std::size_t at = text.find("\tFracSueMono");
    text.insert(at, "\tGsmP");
    for (std::size_t i = 0, line = text.find('\n'); i < rows.size(); ++i) {
        const double p =
            0.1 + 0.05 * std::log(rows[i].params[0]) + gsl_ran_gaussian(rng.get(), 0.01);
        std::size_t tab = line;  // the 7th tab of the row, after PopSizePreSue
        for (int k = 0; k < 7; ++k) tab = text.find('\t', tab + 1);
        text.insert(tab, "\t" + tableNumber(std::min(0.6, std::max(0.1, p))));
        line = text.find('\n', line + 1);
    }
    return text;
}

// The priors file of that table: the toy's, with GsmP's row.
inline std::string toyPriorsTextWithGsmP(std::size_t rows) {
    const std::string text = toyPriorsText(rows);
    const std::size_t closing = text.find("# complete:");
    return text.substr(0, closing) + "GsmP\tuniform\t0.1\t0.6\n" + text.substr(closing);
}

// Observed data for the toy: log My measured as 5 and 6, TimeToOri as 0 and
// 1. Precision-weighted (1/0.25 and 1/1), each gives a Gaussian posterior on
// the adjustment scale with mean 0.8 * first + 0.2 * second (5.2 and 0.2) and
// variance 1 / (4 + 1) = 0.2.
inline const std::array<double, 12> toyObserved = {5, 6, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0};
