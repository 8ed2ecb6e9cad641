#include "plot/PlotFormat.h"

#include <algorithm>
#include <cctype>

PlotFormat plotFormatFor(const std::string& path) {
    const std::size_t dot = path.find_last_of("./");
    if (dot == std::string::npos || path[dot] != '.') return PlotFormat::none;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == "png") return PlotFormat::png;
    if (extension == "svg") return PlotFormat::svg;
    if (extension == "pdf") return PlotFormat::pdf;
    return PlotFormat::none;
}
