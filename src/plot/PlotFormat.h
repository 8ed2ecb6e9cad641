#pragma once

#include <string>

// The picture formats of `--plot`, chosen by the file name's extension.
enum class PlotFormat { none, png, svg, pdf };

// The format for `path` by its extension, in any letter case (.png, .svg,
// .pdf); none for any other name.
PlotFormat plotFormatFor(const std::string& path);
