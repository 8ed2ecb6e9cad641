#include "io/GenepopWriter.h"

#include <cstdio>

#include "io/Fail.h"
#include "io/FinishedFile.h"

bool formatGenepop(const AlleleMatrix& matrix, int numbSueLines, int numbThaLines,
                   std::string& text, std::string& error) {
    const std::size_t numbLines = static_cast<std::size_t>(numbSueLines > 0 ? numbSueLines : 0) +
                                  static_cast<std::size_t>(numbThaLines > 0 ? numbThaLines : 0);
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
