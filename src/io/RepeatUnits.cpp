#include "io/RepeatUnits.h"

#include <cctype>
#include <map>

std::string readRepeatUnits(std::istream& in, const std::string& fileName,
                            const std::vector<std::string>& loci, std::vector<int>& units) {
    std::map<std::string, std::size_t> index;
    for (std::size_t l = 0; l < loci.size(); ++l)
        if (!index.emplace(loci[l], l).second)
            return fileName + ": locus " + loci[l] +
                   " is named twice in the Genepop file, so its unit cannot be told apart";
    units.assign(loci.size(), 0);
    std::vector<int> givenOn(loci.size(), 0);
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        const std::string at = fileName + " line " + std::to_string(lineNumber) + ": ";
        for (char& c : line)
            if (c == '\t' || c == '\r') c = ' ';
        const std::size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos || line[first] == '#') continue;
        const std::size_t end = line.find_last_not_of(' ') + 1;
        const std::size_t gap = line.find_last_of(' ', end - 1);
        if (gap == std::string::npos || gap < first)
            return at + "expected a locus name and its repeat unit";
        const std::string name = line.substr(first, line.find_last_not_of(' ', gap) + 1 - first);
        const std::string unitText = line.substr(gap + 1, end - gap - 1);
        bool digits = unitText.size() <= 6;
        for (char c : unitText) digits = digits && std::isdigit(static_cast<unsigned char>(c));
        if (!digits || std::stoi(unitText) < 1)
            return at + "repeat unit \"" + unitText + "\" is no whole number of 1 or more";
        const auto found = index.find(name);
        if (found == index.end()) return at + "\"" + name + "\" is no locus of the Genepop file";
        if (givenOn[found->second] != 0)
            return at + "locus " + name + " given twice (first on line " +
                   std::to_string(givenOn[found->second]) + ")";
        givenOn[found->second] = lineNumber;
        units[found->second] = std::stoi(unitText);
    }
    for (std::size_t l = 0; l < loci.size(); ++l)
        if (givenOn[l] == 0) return fileName + ": no unit for locus " + loci[l];
    return "";
}
