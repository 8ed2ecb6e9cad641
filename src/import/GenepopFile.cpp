#include "import/GenepopFile.h"

#include <cctype>

namespace {

std::string trim(const std::string& s) {
    std::size_t begin = 0, end = s.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(s[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1]))) --end;
    return s.substr(begin, end - begin);
}

bool isPopLine(const std::string& trimmed) {
    if (trimmed.size() != 3) return false;
    return std::tolower(static_cast<unsigned char>(trimmed[0])) == 'p' &&
           std::tolower(static_cast<unsigned char>(trimmed[1])) == 'o' &&
           std::tolower(static_cast<unsigned char>(trimmed[2])) == 'p';
}

std::vector<std::string> splitBlanks(const std::string& s) {
    std::vector<std::string> words;
    std::string word;
    for (char c : s + ' ') {
        if (c == ' ' || c == '\t') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    return words;
}

// Reads the genotypes of one individual (after its comma) into `who`,
// fixing the file's ploidy and each locus's width at their first genotype.
// Returns the problem without the line prefix, or "".
std::string readGenotypes(const std::string& text, GenepopFile& file, std::vector<int>& widthLine,
                          GenepopIndividual& who) {
    const std::vector<std::string> genotypes = splitBlanks(text);
    if (genotypes.size() != file.loci.size())
        return std::to_string(genotypes.size()) +
               (genotypes.size() == 1 ? " genotype for " : " genotypes for ") +
               std::to_string(file.loci.size()) + (file.loci.size() == 1 ? " locus" : " loci");
    for (std::size_t l = 0; l < genotypes.size(); ++l) {
        const std::string& g = genotypes[l];
        const std::string where = "genotype \"" + g + "\" of locus " + file.loci[l];
        for (char c : g)
            if (!std::isdigit(static_cast<unsigned char>(c))) return where + " is not a number";
        const std::size_t w = g.size();
        if (w != 2 && w != 3 && w != 4 && w != 6)
            return where + " has " + std::to_string(w) +
                   " digits; a genotype has 2 or 3 (haploid), 4 or 6 (diploid)";
        const int ploidy = w >= 4 ? 2 : 1;
        const int digits = static_cast<int>(w) / ploidy;
        if (file.ploidy == 0) file.ploidy = ploidy;
        if (ploidy != file.ploidy)
            return where + " is " + (ploidy == 1 ? "haploid" : "diploid") +
                   " but the file's first genotype is " + (ploidy == 1 ? "diploid" : "haploid");
        if (file.digits[l] == 0) {
            file.digits[l] = digits;
            widthLine[l] = who.line;
        }
        if (digits != file.digits[l])
            return where + " has " + std::to_string(digits) + "-digit codes, but line " +
                   std::to_string(widthLine[l]) + " gave this locus " +
                   std::to_string(file.digits[l]) + "-digit codes";
        for (int c = 0; c < ploidy; ++c)
            who.codes.push_back(std::stoi(
                g.substr(static_cast<std::size_t>(c * digits), static_cast<std::size_t>(digits))));
    }
    return "";
}

}  // namespace

std::string readGenepop(std::istream& in, const std::string& fileName, GenepopFile& file) {
    file = GenepopFile{};
    std::vector<int> widthLine;
    std::string raw;
    int lineNumber = 0;
    auto at = [&](const std::string& problem) {
        return fileName + " line " + std::to_string(lineNumber) + ": " + problem;
    };
    bool inLoci = true;
    while (std::getline(in, raw)) {
        ++lineNumber;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        if (raw.find('\0') != std::string::npos) return at("NUL byte: this is no text file");
        if (lineNumber == 1) {
            file.title = trim(raw);
            continue;
        }
        const std::string line = trim(raw);
        if (line.empty()) continue;
        if (isPopLine(line)) {
            if (inLoci && file.loci.empty()) return at("a Pop line before any locus name");
            inLoci = false;
            file.digits.assign(file.loci.size(), 0);
            widthLine.assign(file.loci.size(), 0);
            file.populations.push_back({lineNumber, {}});
            continue;
        }
        if (inLoci) {
            // One name per line, or several separated by commas.
            std::size_t start = 0;
            while (start <= line.size()) {
                std::size_t comma = line.find(',', start);
                if (comma == std::string::npos) comma = line.size();
                const std::string name = trim(line.substr(start, comma - start));
                if (!name.empty()) file.loci.push_back(name);
                start = comma + 1;
            }
            continue;
        }
        const std::size_t comma = line.find(',');
        if (comma == std::string::npos)
            return at("no comma between the individual's name and its genotypes");
        GenepopIndividual who{trim(line.substr(0, comma)), lineNumber, {}};
        const std::string problem = readGenotypes(line.substr(comma + 1), file, widthLine, who);
        if (!problem.empty()) return at(problem);
        file.populations.back().individuals.push_back(std::move(who));
    }
    if (lineNumber == 0) return fileName + " line 1: the file is empty";
    if (inLoci) return at("no Pop line: a Genepop file has one before each population");
    return "";
}
