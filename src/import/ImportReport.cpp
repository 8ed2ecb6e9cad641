#include "import/ImportReport.h"

#include <cstdio>

namespace {

// "1 line", "2 lines".
std::string count(std::size_t n, const std::string& noun) {
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

std::string padded(const std::string& key, std::size_t value, const std::string& comment) {
    std::string line = key;
    line.resize(26, ' ');
    std::string number = std::to_string(value);
    number.resize(14, ' ');
    return line + number + "# " + comment + "\n";
}

std::string percent(std::size_t part, std::size_t whole) {
    char text[32];
    std::snprintf(
        text, sizeof text, "%.1f %%",
        whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole));
    return text;
}

std::string describe(const GenepopFile& file, std::size_t p) {
    const GenepopPopulation& pop = file.populations[p];
    std::string text =
        "population " + std::to_string(p + 1) + " (Pop line " + std::to_string(pop.popLine);
    if (!pop.individuals.empty()) text += ", first individual " + pop.individuals[0].name;
    return text + ")";
}

std::string linesEach(const GenepopFile& file, const ConversionChoice& choice) {
    return choice.firstCopy || file.ploidy == 1 ? "1 line" : "2 lines";
}

}  // namespace

std::string formatSettings(const GenepopFile& file, const ConversionChoice& choice,
                           const Conversion& conversion) {
    const std::string each = linesEach(file, choice);
    return padded("NUMBER_OF_SUE_LINES", conversion.sue.lines,
                  "population " + std::to_string(choice.sue + 1) + ", " +
                      count(conversion.sue.individuals, "individual") + ", " + each + " each") +
           padded("NUMBER_OF_THA_LINES", conversion.tha.lines,
                  "population " + std::to_string(choice.tha + 1) + ", " +
                      count(conversion.tha.individuals, "individual") + ", " + each + " each") +
           padded("NUMBER_OF_LOCI", file.loci.size(), "lines after the data file's header");
}

std::string formatReport(const GenepopFile& file, const ConversionChoice& choice,
                         const Conversion& conversion, const ImportSummary& summary) {
    std::string text = "\nWrote " + summary.outName + " from " + summary.inName + ": " +
                       std::to_string(file.loci.size()) +
                       (file.loci.size() == 1 ? " locus, " : " loci, ") +
                       count(conversion.sue.lines, "sue line") + ", then " +
                       count(conversion.tha.lines, "tha line") + ".\n";
    auto population = [&](const char* tag, int p, const PopulationYield& y) {
        text += std::string("  ") + tag + ": " + describe(file, static_cast<std::size_t>(p)) +
                ": " + count(y.individuals, "individual") + ", " + count(y.lines, "line") + ", " +
                percent(y.missing, y.values) + " missing\n";
    };
    population("sue", choice.sue, conversion.sue);
    population("tha", choice.tha, conversion.tha);
    for (std::size_t p = 0; p < file.populations.size(); ++p) {
        if (static_cast<int>(p) == choice.sue || static_cast<int>(p) == choice.tha) continue;
        text += "  left out: " + describe(file, p) + ", " +
                count(file.populations[p].individuals.size(), "individual") + "\n";
    }

    const bool diploid = file.ploidy == 2;
    if (!diploid) {
        text += "Copies: haploid genotypes, one line per individual.\n";
    } else if (!choice.firstCopy) {
        text +=
            "Copies: diploid genotypes, both copies taken (--copies all): 2 lines per "
            "individual.\n";
    } else {
        text +=
            "Copies: diploid genotypes, one copy per individual (--copies first): the first, "
            "or the second where the first is missing (" +
            count(conversion.sue.secondCopy + conversion.tha.secondCopy, "genotype") +
            ").\n  Heterozygous at one locus or more, only their first copy kept: " +
            std::to_string(conversion.sue.heterozygous) + " of " +
            std::to_string(conversion.sue.individuals) + " sue and " +
            std::to_string(conversion.tha.heterozygous) + " of " +
            std::to_string(conversion.tha.individuals) + " tha individuals.\n";
    }
    if (summary.unitsSource.empty()) {
        text +=
            "Repeat counts: codes taken as repeat counts already (no --repeat-unit or "
            "--repeat-units).\n";
    } else {
        std::size_t off = 0;
        for (const OffLadder& o : conversion.offLadder) off += static_cast<std::size_t>(o.copies);
        // Ladders offset from the multiples of the unit (a flanking region of
        // another length) are named with their remainder.
        std::string offset;
        for (std::size_t l = 0; l < conversion.remainders.size(); ++l)
            if (conversion.remainders[l] != 0)
                offset += (offset.empty() ? "" : ", ") + file.loci[l] + " (" +
                          std::to_string(conversion.remainders[l]) + ")";
        text += "Repeat counts: codes divided by the repeat unit (" + summary.unitsSource + "); ";
        if (!offset.empty())
            text +=
                "each locus's ladder is its most common remainder modulo the unit, taken off "
                "before dividing: " +
                offset + "; ";
        text += (off == 0 ? std::string(offset.empty() ? "every code a multiple of its unit"
                                                       : "every code on its ladder")
                          : std::to_string(off) + (off == 1 ? " copy" : " copies") +
                                " off the ladder rounded to the nearest count") +
                ".\n";
    }
    text += "Missing copies (00, 000) written as -9.\n";
    text += "Monomorphic in both populations:";
    if (conversion.monomorphic.empty()) text += " none";
    for (std::size_t i = 0; i < conversion.monomorphic.size(); ++i)
        text += (i == 0 ? " " : ", ") + file.loci[conversion.monomorphic[i]];
    return text + "\n";
}

std::string formatOffLadderWarning(const GenepopFile& file, const Conversion& conversion) {
    if (conversion.offLadder.empty()) return "";
    std::string text = "foundabc-import: warning: " + count(conversion.offLadder.size(), "code") +
                       " off the repeat ladder (not the most common remainder modulo the "
                       "unit at its locus), rounded to the nearest count:\n";
    for (const OffLadder& o : conversion.offLadder)
        text += "  locus " + file.loci[o.locus] + ": " + std::to_string(o.code) + " -> " +
                std::to_string(o.count) + " (" + std::to_string(o.copies) +
                (o.copies == 1 ? " copy" : " copies") + ")\n";
    return text;
}
