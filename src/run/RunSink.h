#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "io/ReferenceTable.h"
#include "io/ResultsFile.h"
#include "run/Repeat.h"

// Where the repeats of a run go. A sink receives every simulation's result in
// simulation order, on the one thread that runs the loop.
class RunSink {
  public:
    // Called after every result with the results taken and accepted so far.
    using Observer = std::function<void(long done, long accepted)>;

    virtual ~RunSink() = default;
    // True when the results must carry their reference-table rows.
    virtual bool wantsTable() const = 0;

    // Takes the result of simulation `sim` (counted from 0 over the whole
    // run), the next one in simulation order.
    void take(int64_t sim, const RepeatResult& result) {
        consume(sim, result);
        ++done_;
        if (result.accepted) ++accepted_;
        if (observer_) observer_(done_, accepted_);
    }
    void setObserver(Observer observer) { observer_ = std::move(observer); }

  protected:
    virtual void consume(int64_t sim, const RepeatResult& result) = 0;

  private:
    Observer observer_;
    long done_ = 0;
    long accepted_ = 0;
};

// The sink of a whole run: accepted sets to the results file, numbered in
// simulation order, and every row to the reference table when there is one.
// Owns neither.
class RunOutput : public RunSink {
  public:
    // `withGsmP`: the accepted rows carry GsmP (a run that draws it).
    RunOutput(ResultsWriter& results, ReferenceTableWriter* table, bool withGsmP = false)
        : results_(results), table_(table), withGsmP_(withGsmP) {}
    bool wantsTable() const override { return table_ != nullptr; }

  protected:
    void consume(int64_t, const RepeatResult& r) override {
        if (r.accepted) {
            ++numbAccepted_;
            results_.appendRow(r.draw[My], r.draw[TimeToOri], r.draw[PopSizeOriTha],
                               r.draw[PopSizePreTha], r.draw[PopSizeOriSue], r.draw[PopSizePreSue],
                               r.FracSueMono, r.DS, numbAccepted_, withGsmP_ ? &r.GsmP : nullptr);
        }
        if (table_ != nullptr) table_->writeRows(r.tableRow);
    }

  private:
    ResultsWriter& results_;
    ReferenceTableWriter* table_;
    bool withGsmP_;
    int numbAccepted_ = 0;
};

// The sink of a run from a sample (`foundabc --from-sample`): the results go
// on to `inner` as not accepted, so that no row reaches the results file or a
// shard's rows for it. A predictive run's product is its reference table;
// its accepted rows, appended to the results file of a run from the priors,
// would be read as that run's last one. Owns nothing.
class TableOnlyOutput : public RunSink {
  public:
    explicit TableOnlyOutput(RunSink& inner) : inner_(inner) {}
    bool wantsTable() const override { return inner_.wantsTable(); }

  protected:
    void consume(int64_t sim, const RepeatResult& r) override {
        RepeatResult tableOnly = r;
        tableOnly.accepted = false;
        inner_.take(sim, tableOnly);
    }

  private:
    RunSink& inner_;
};
