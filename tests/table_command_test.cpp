#include <gtest/gtest.h>

#include <sstream>

#include "summary/TableCommand.h"
#include "support/ChildProcess.h"
#include "support/ReferenceTableText.h"

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

Outcome run(const TableOptions& options) {
    std::ostringstream out, err;
    int status = runTableSummary(options, out, err);
    return {status, out.str(), err.str()};
}

// The toy table and its observed statistics in `dir`; returns the table's path.
std::string writeToy(const TempDir& dir, const std::string& name, std::size_t n,
                     const std::array<double, 12>& observed) {
    std::string text = tableText(toyRows(n, 7));
    std::string path = dir.file(name);
    if (name.size() > 3 && name.substr(name.size() - 3) == ".gz") {
        EXPECT_TRUE(writeGzip(path, text));
    } else {
        dir.write(name, text);
    }
    dir.write(name.substr(0, name.size() - (name.size() > 3 && name.substr(name.size() - 3) == ".gz" ? 3 : 0)) + ".observed.tsv", observedText(observed));
    return path;
}

const std::array<double, 12> toyObserved = {5, 6, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0};

}  // namespace

TEST(TableCommand, Smoke) {
    TempDir dir;
    TableOptions options;
    options.tablePath = writeToy(dir, "ref.tsv.gz", 20000, toyObserved);
    options.tolerance = 0.05;
    options.stats = {"S_sue", "S_tha", "NAL_sue", "NAL_tha"};
    Outcome r = run(options);
    std::cout << r.out << r.err;
    options.adjust = false;
    r = run(options);
    std::cout << r.out << r.err;
    options.crossValidations = 50;
    r = run(options);
    std::cout << r.out << r.err;
    options.stats = {};
    options.crossValidations = 0;
    r = run(options);
    std::cout << r.out << r.err;
}
