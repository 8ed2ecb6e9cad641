#pragma once

#include <functional>
#include <string>

// A picture for the report: the gnuplot script that `scriptFor` makes for an
// output file is drawn as SVG into `path` (kept in the study's work folder)
// and read back as an inline <svg> element (the XML prolog left out).
// Returns "" and sets `why` when gnuplot is missing or fails: the report
// then goes without the picture.
std::string drawSvg(const std::function<std::string(const std::string&)>& scriptFor,
                    const std::string& path, std::string& why);
