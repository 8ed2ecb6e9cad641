#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "abc/Posterior.h"
#include "io/FinishedFile.h"
#include "plot/PlotFormat.h"

// Returns a gnuplot script that draws the marginal posteriors of `summaries`
// into `outputPath` in `format` (terminals as terminalFor in PlotParts.h),
// one panel per column. Each panel shows the column's histogram (FracSueMono:
// a bar for each of its values) as shares of the rows (of the weight when
// `weighted`), the median and the 95 % interval (posteriorMarks), and an x
// axis labelled with the column's meaning and unit, on the log scale for
// columns summarised on it. When the column's prior is known the axis spans
// the prior's bounds, labelled at both ends, with a margin (xAxis in
// PlotParts.h), and a flat prior is drawn as a line at the share that each
// bin would hold under it. FracSueMono's axis spans 0 to 1. One legend, in
// the grid's free cell, names the parts. `title` heads the picture, on a
// kPortraitPage.
std::string plotScript(const std::vector<ColumnSummary>& summaries, const std::string& outputPath,
                       const std::string& title, PlotFormat format = PlotFormat::png,
                       bool weighted = false);

// A gnuplot string literal of `text`: in single quotes only the quote itself
// needs escaping, by doubling it; a line end, which would end the command,
// becomes a blank.
std::string quoted(const std::string& text);

// A gnuplot string expression of `text` whose line ends stay line ends:
// its lines, each quoted, joined by "\n".
std::string quotedLines(const std::string& text);

// `x` with every digit a double holds, for a gnuplot script.
std::string number(double x);

// The meaning of a column and its unit, as its panel's x-axis label, e.g.
// "present size of sue (gene copies)"; "(..., log scale)" on a log axis;
// the unit on a line of its own when the label is long (quote it with
// quotedLines).
// The model's pairs of lines coalesce at rate 1/N(t) a generation, so its
// sizes count gene copies (twice the diploid individuals) and its times
// generations; the mutation rate is per locus and generation.
std::string columnMeaning(const std::string& column, bool logAxis = false);

enum class PlotOutcome { drawn, gnuplotMissing, failed };

// Why the picture at `path` is not a whole picture of `format` ("" when it
// is): a PNG must end with its end chunk, an SVG with "</svg>", a PDF have
// "%%EOF" in its last 1024 bytes. gnuplot exits with status 0 even when a
// full disk or a file-size limit cut its output short.
std::string pictureFault(const std::string& path, PlotFormat format);

// Runs `gnuplotProgram` (a name looked up on PATH, or a path) on the script
// that `scriptFor` makes for a given output file. The picture is drawn into a
// hidden temporary file beside `path` and takes the name `path` only when
// gnuplot succeeded, so a failure leaves no file (and an earlier picture of
// that name stays as it was). Returns gnuplotMissing when there is no such
// executable, failed when the temporary file cannot be made (`why` then says
// why), when gnuplot ends with an error (its own messages go to standard
// error) or leaves an empty or cut picture (pictureFault), and drawn
// otherwise.
PlotOutcome drawPlot(const std::function<std::string(const std::string&)>& scriptFor,
                     const std::string& path, const std::string& gnuplotProgram, std::string& why);

// drawPlot into `picture`, made by the caller before (so that its folder
// was checked before any work); gnuplot writes to its temporaryPath(). A
// picture drawn and checked (pictureFault) is only prepared: the caller puts
// it under its name (FinishedFile::commit), with the call's other outputs.
PlotOutcome drawPlot(const std::function<std::string(const std::string&)>& scriptFor,
                     FinishedFile& picture, const std::string& gnuplotProgram, std::string& why);

// drawPlot, with its outcome reported on `err` as foundabc-summary reports
// it: returns 0 when the picture was drawn, and also when gnuplot is missing
// (a note then says so: the printed table is complete); 1, after a message,
// when drawing failed.
int drawPlotAndReport(const std::function<std::string(const std::string&)>& scriptFor,
                      const std::string& path, const std::string& gnuplotProgram,
                      std::ostream& err);

// drawPlotAndReport into `picture`, the caller's FinishedFile of `path`.
int drawPlotAndReport(const std::function<std::string(const std::string&)>& scriptFor,
                      FinishedFile& picture, const std::string& path,
                      const std::string& gnuplotProgram, std::ostream& err);
