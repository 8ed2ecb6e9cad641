#include "study/SavedResult.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr const char* kHeader = "foundabc-study saved result 1\n";

// One pass over a result, writing it or reading it back field by field, so
// that the two directions cannot drift apart.
class Archive {
  public:
    explicit Archive(std::string* out) : out_(out) {}
    explicit Archive(const std::string& in) : in_(&in) {}
    bool ok() const { return ok_; }
    bool reading() const { return in_ != nullptr; }
    bool atEnd() const { return in_ && pos_ == in_->size(); }

    void io(std::string& s) {
        std::size_t n = s.size();
        io(n);
        if (!reading()) {
            *out_ += s + "\n";
        } else if (ok_ && pos_ + n + 1 <= in_->size() && (*in_)[pos_ + n] == '\n') {
            s = in_->substr(pos_, n);
            pos_ += n + 1;
        } else {
            ok_ = false;
        }
    }
    void io(double& x) {
        std::string word;
        if (!reading()) {
            char text[40];
            std::snprintf(text, sizeof text, "%.17g", x);
            *out_ += std::string(std::isnan(x) ? "nan" : text) + "\n";
            return;
        }
        if (!line(word)) return;
        char* end = nullptr;
        x = word == "nan" ? std::nan("") : std::strtod(word.c_str(), &end);
        if (word != "nan" && (end == word.c_str() || *end != '\0')) ok_ = false;
    }
    void io(long& x) { integer(x); }
    void io(unsigned long& x) { integer(x); }
    void io(unsigned long long& x) { integer(x); }
    void io(bool& x) {
        long v = x;
        integer(v);
        x = v != 0;
    }
    template <typename A, typename B>
    void io(std::pair<A, B>& p) {
        io(p.first);
        io(p.second);
    }
    template <typename T>
    void io(std::vector<T>& v) {
        std::size_t n = v.size();
        io(n);
        if (reading()) {
            if (!ok_ || n > in_->size()) return void(ok_ = false);
            v.assign(n, T());
        }
        for (T& item : v) io(item);
    }
    template <typename T>
    void io(T& section) {
        serialize(*this, section);
    }

  private:
    bool line(std::string& word) {
        const std::size_t end = ok_ ? in_->find('\n', pos_) : std::string::npos;
        if (end == std::string::npos) return ok_ = false;
        word = in_->substr(pos_, end - pos_);
        pos_ = end + 1;
        return true;
    }
    template <typename I>
    void integer(I& x) {
        if (!reading()) {
            *out_ += std::to_string(x) + "\n";
            return;
        }
        std::string word;
        if (!line(word)) return;
        char* end = nullptr;
        const long long v = std::strtoll(word.c_str(), &end, 10);
        if (word.empty() || *end != '\0') ok_ = false;
        x = static_cast<I>(v);
    }

    std::string* out_ = nullptr;
    const std::string* in_ = nullptr;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

void serialize(Archive& a, ChoiceSection& c) {
    a.io(c.present), a.io(c.models), a.io(c.votes), a.io(c.priorProbability);
    a.io(c.posteriorProbability), a.io(c.chosen), a.io(c.chosenProbability);
    a.io(c.priorErrorRate), a.io(c.confusion), a.io(c.verdict), a.io(c.ldaSvg);
}
void serialize(Archive& a, EstimateLine& l) {
    a.io(l.parameter), a.io(l.median), a.io(l.q025), a.io(l.q975), a.io(l.q25), a.io(l.q75);
    a.io(l.mean), a.io(l.oobError), a.io(l.verdict);
}
void serialize(Archive& a, EstimateSection& e) {
    a.io(e.model), a.io(e.lines), a.io(e.importance), a.io(e.posteriorSvg), a.io(e.importanceSvg);
}
void serialize(Archive& a, CalibrationLine& l) {
    a.io(l.parameter), a.io(l.rows), a.io(l.coverage50), a.io(l.coverage95), a.io(l.oobError);
    a.io(l.verdict);
}
void serialize(Archive& a, CalibrationSection& c) { a.io(c.model), a.io(c.lines); }
void serialize(Archive& a, EnoughLine& l) {
    a.io(l.parameter), a.io(l.medianHalf), a.io(l.medianFull), a.io(l.intervalWidth);
    a.io(l.oobErrorHalf), a.io(l.oobErrorFull), a.io(l.medianMoved), a.io(l.errorMoved);
}
void serialize(Archive& a, EnoughSection& e) {
    a.io(e.model), a.io(e.rowsHalf), a.io(e.rowsFull), a.io(e.lines);
    a.io(e.suggestedSimulations), a.io(e.advice);
}
void serialize(Archive& a, FitStatLine& l) {
    a.io(l.statistic), a.io(l.observed), a.io(l.predictiveLower), a.io(l.predictiveUpper);
    a.io(l.pValue);
}
void serialize(Archive& a, FitSection& f) {
    a.io(f.model), a.io(f.gfitStatistic), a.io(f.gfitPValue), a.io(f.gfitReplicates);
    a.io(f.gfitVerdict), a.io(f.ppc), a.io(f.gfitSvg), a.io(f.ppcSvg);
    a.io(f.checkStatistic), a.io(f.checkPValue), a.io(f.checkReplicates);
    a.io(f.checkResiduals), a.io(f.checkSvg);
}
void serialize(Archive& a, StudyWarning& w) { a.io(w.step), a.io(w.text); }
void serialize(Archive& a, SavedResult& r) {
    a.io(r.choice), a.io(r.estimates), a.io(r.calibration), a.io(r.enough), a.io(r.fit);
    a.io(r.warnings), a.io(r.chosen);
}

}  // namespace

std::string formatSavedResult(const SavedResult& result) {
    std::string text = kHeader;
    SavedResult copy = result;
    Archive a(&text);
    a.io(copy);
    return text;
}

bool readSavedResult(const std::string& text, SavedResult& result) {
    const std::string header = kHeader;
    if (text.compare(0, header.size(), header) != 0) return false;
    const std::string body = text.substr(header.size());
    Archive a(body);
    SavedResult read;
    a.io(read);
    if (!a.ok() || !a.atEnd()) return false;
    result = std::move(read);
    return true;
}
