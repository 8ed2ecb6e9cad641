#pragma once

#include <string>
#include <vector>

#include "study/StudyReport.h"

// The pictures of a study's report. report.html holds each one inline;
// report.md refers to it as a file beside it, under figures/.

struct ReportFigure {
    std::string section;  // the id of the section that shows it: "choice", "estimates", "fit"
    std::string model;    // the model it belongs to ("" for the model choice)
    std::string file;     // its file, relative to the report's folder: "figures/NAME.svg"
    std::string caption;  // one sentence, plain text
    const std::string* svg = nullptr;  // the picture as drawn, owned by the report
};

// Every picture of `report` that was drawn (a non-empty SVG), in page order.
// The pointers are into `report`, which must outlive the list.
std::vector<ReportFigure> reportFigures(const StudyReport& report);

// `svg` made fit to stand inside an HTML page: what comes before its <svg>
// element (the XML declaration, the doctype, comments) is dropped, and each id
// it defines, with every reference to it (href="#ID", url(#ID)), is prefixed
// by `prefix` so that two pictures of one page never share an id. Empty when
// `svg` holds no <svg> element.
std::string inlineSvg(const std::string& svg, const std::string& prefix);
