#include "io/GenepopFile.h"

#include <cctype>
#include <cstdio>
#include <fstream>

#include "base/Fail.h"
#include "io/FinishedFile.h"
#include "io/InputFile.h"

namespace {

std::string trim(const std::string& s) {
    std::size_t begin = 0, end = s.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(s[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1]))) --end;
    return s.substr(begin, end - begin);
}

// `Pop` alone, or followed by a blank and a population name as some files
// write it (`POP island`); a line with a comma is an individual's.
bool isPopLine(const std::string& trimmed) {
    if (trimmed.size() < 3) return false;
    if (trimmed.size() > 3 &&
        (!(trimmed[3] == ' ' || trimmed[3] == '\t') || trimmed.find(',') != std::string::npos))
        return false;
    return std::tolower(static_cast<unsigned char>(trimmed[0])) == 'p' &&
           std::tolower(static_cast<unsigned char>(trimmed[1])) == 'o' &&
           std::tolower(static_cast<unsigned char>(trimmed[2])) == 'p';
}

// No line of a Genepop file comes near this; a longer one is no Genepop text
// (a device such as /dev/zero, a binary file) and is refused before it fills
// the memory.
constexpr std::size_t kMaxLineChars = 1 << 20;

// Reads one line into `line`, without its line feed. Returns false at the end
// of the input; sets `tooLong` (and stops reading) at a line of more than
// kMaxLineChars characters.
bool nextLine(std::istream& in, std::string& line, bool& tooLong) {
    line.clear();
    tooLong = false;
    std::streambuf* buffer = in.rdbuf();
    if (buffer == nullptr) return false;
    bool any = false;
    for (;;) {
        const int c = buffer->sbumpc();
        if (c == std::char_traits<char>::eof()) return any;
        any = true;
        if (c == '\n') return true;
        if (line.size() == kMaxLineChars) {
            tooLong = true;
            return true;
        }
        line.push_back(static_cast<char>(c));
    }
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
    bool inLoci = true, tooLong = false;
    while (nextLine(in, raw, tooLong)) {
        ++lineNumber;
        if (tooLong)
            return at("line longer than " + std::to_string(kMaxLineChars) +
                      " characters: this is no Genepop file");
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
            // Widths are fixed per locus for the whole file: a locus written
            // with 2-digit codes in one population and 3-digit codes in the
            // next would be read as counts of different scales.
            if (inLoci) {
                file.digits.assign(file.loci.size(), 0);
                widthLine.assign(file.loci.size(), 0);
            }
            inLoci = false;
            file.populations.push_back({lineNumber, trim(line.substr(3)), {}});
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

bool formatGenepop(const AlleleMatrix& matrix, int numbSueLines, int numbThaLines,
                   std::string& text, std::string& error) {
    const std::size_t numbLines = static_cast<std::size_t>(numbSueLines > 0 ? numbSueLines : 0) +
                                  static_cast<std::size_t>(numbThaLines > 0 ? numbThaLines : 0);
    if (matrix.empty()) {
        error = "no locus, and a Genepop file without loci cannot be read back";
        return false;
    }
    for (std::size_t locus = 0; locus < matrix.size(); ++locus) {
        if (matrix[locus].size() < numbLines) {
            error = "locus " + std::to_string(locus + 1) + " has " +
                    std::to_string(matrix[locus].size()) + " values for " +
                    std::to_string(numbLines) + " lines";
            return false;
        }
        for (std::size_t line = 0; line < numbLines; ++line) {
            const int32_t v = matrix[locus][line];
            if (v != -9 && (v < 1 || v > 999)) {
                error = "allele value " + std::to_string(v) + " at locus " +
                        std::to_string(locus + 1) + " is no 3-digit code (1 to 999)";
                return false;
            }
        }
    }
    text = "foundabc simulated data: " + std::to_string(numbSueLines) + " sue lines, " +
           std::to_string(numbThaLines) + " tha lines, " + std::to_string(matrix.size()) +
           " loci, haploid\n";
    for (std::size_t locus = 0; locus < matrix.size(); ++locus)
        text += "locus" + std::to_string(locus + 1) + "\n";
    auto population = [&](const char* tag, std::size_t first, int count) {
        text += "Pop\n";
        for (int i = 0; i < count; ++i) {
            text += tag + std::to_string(i + 1) + " ,";
            for (const auto& row : matrix) {
                const int32_t v = row[first + static_cast<std::size_t>(i)];
                char code[8];
                std::snprintf(code, sizeof code, " %03d", v == -9 ? 0 : static_cast<int>(v));
                text += code;
            }
            text += "\n";
        }
    };
    population("sue", 0, numbSueLines);
    population("tha", static_cast<std::size_t>(numbSueLines > 0 ? numbSueLines : 0), numbThaLines);
    return true;
}

void writeGenepopFile(const std::string& path, const AlleleMatrix& matrix, int numbSueLines,
                      int numbThaLines, bool replace) {
    std::string text, error;
    if (!formatGenepop(matrix, numbSueLines, numbThaLines, text, error))
        fail("error: genepop: " + error + "\n");
    FinishedFile file(path);
    if (file.write(text) && file.commit(replace)) return;
    if (file.alreadyExists()) fail("error: genepop: " + path + " already exists\n");
    fail("error: genepop: cannot write " + path + " (" + file.error() + ")\n");
}

std::string readGenepopFile(const std::string& path, GenepopFile& file) {
    if (std::string problem = directoryProblem(path); !problem.empty()) return problem;
    std::ifstream in(path, std::ios::binary);
    if (!in) return "cannot open the Genepop file " + path;
    return readGenepop(in, path, file);
}
