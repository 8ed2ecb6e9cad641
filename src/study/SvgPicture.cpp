#include "study/SvgPicture.h"

#include <fstream>
#include <sstream>

#include "plot/Plot.h"

std::string drawSvg(const std::function<std::string(const std::string&)>& scriptFor,
                    const std::string& path, std::string& why) {
    why.clear();
    const PlotOutcome outcome = drawPlot(scriptFor, path, "gnuplot", why);
    if (outcome == PlotOutcome::gnuplotMissing) {
        why = "gnuplot is not installed: the report has no pictures";
        return "";
    }
    if (outcome != PlotOutcome::drawn) {
        why = "the picture " + path + " could not be drawn" + (why.empty() ? "" : ": " + why);
        return "";
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string svg = text.str();
    const std::size_t start = svg.find("<svg");
    if (!in || start == std::string::npos) {
        why = "the picture " + path + " could not be read back";
        return "";
    }
    return svg.substr(start);
}
