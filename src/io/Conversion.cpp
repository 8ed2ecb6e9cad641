#include "io/Conversion.h"

#include <map>
#include <set>

int findPopulation(const GenepopFile& file, const std::string& key, const std::string& option,
                   std::string& error) {
    const auto& pops = file.populations;
    const std::string count = "the file has " + std::to_string(pops.size()) + " population" +
                              (pops.size() == 1 ? "" : "s");
    int found = -1;
    const bool number = !key.empty() && key.find_first_not_of("0123456789") == std::string::npos;
    if (number) {
        const std::size_t n = key.size() > 9 ? 0 : std::stoul(key);
        if (n < 1 || n > pops.size()) {
            error = option + " " + key + ": no population number " + key + "; " + count;
            return -1;
        }
        found = static_cast<int>(n - 1);
    } else {
        // A population answers to the name on its Pop line and to the name
        // of its first individual (files without Pop names have only that).
        const auto answers = [&](const GenepopPopulation& pop) {
            return pop.name == key || (!pop.individuals.empty() && pop.individuals[0].name == key);
        };
        for (std::size_t p = 0; p < pops.size(); ++p) {
            if (!answers(pops[p])) continue;
            if (found >= 0) {
                error = option + " " + key + ": populations " + std::to_string(found + 1) +
                        " and " + std::to_string(p + 1) + " (Pop lines " +
                        std::to_string(pops[static_cast<std::size_t>(found)].popLine) + " and " +
                        std::to_string(pops[p].popLine) +
                        ") both answer to this name; give the number";
                return -1;
            }
            found = static_cast<int>(p);
        }
        if (found < 0) {
            // The names the file has, so that a misspelt one is seen at once.
            std::string names;
            constexpr std::size_t kListed = 20;
            for (std::size_t p = 0; p < pops.size(); ++p) {
                if (p == kListed) {
                    names += ", ... (" + std::to_string(pops.size() - kListed) + " more)";
                    break;
                }
                names += (p == 0 ? ": " : ", ") + std::to_string(p + 1);
                if (!pops[p].name.empty()) names += " \"" + pops[p].name + "\"";
                if (!pops[p].individuals.empty())
                    names += " (first individual " + pops[p].individuals[0].name + ")";
            }
            error = option + " " + key + ": no population is named \"" + key +
                    "\" on its Pop line or starts with an individual of that name; " + count +
                    names;
            return -1;
        }
    }
    const GenepopPopulation& pop = pops[static_cast<std::size_t>(found)];
    if (pop.individuals.empty()) {
        error = option + " " + key + ": population " + std::to_string(found + 1) + " (Pop line " +
                std::to_string(pop.popLine) + ") has no individuals";
        return -1;
    }
    return found;
}

namespace {

// The rung of `code` on a ladder of unit `unit` (0: none) and remainder
// `remainder`: (code - remainder) / unit, rounded to the nearest whole count
// with halves up (towards the longer fragment), and never below rung 0, the
// shortest length the ladder holds.
int repeatCount(int code, int unit, int remainder) {
    if (unit <= 0) return code;
    const long long twice = 2LL * (code - remainder) + unit;
    if (twice < 0) return 0;
    return static_cast<int>(twice / (2LL * unit));
}

// The remainder modulo `unit` that most copies of locus `l` carry, over every
// population of the file (ties: the smallest remainder); 0 without a code.
int ladderRemainder(const GenepopFile& file, std::size_t l, int unit) {
    std::map<int, std::size_t> seen;
    const std::size_t ploidy = static_cast<std::size_t>(file.ploidy);
    for (const GenepopPopulation& pop : file.populations)
        for (const GenepopIndividual& who : pop.individuals)
            for (std::size_t c = 0; c < ploidy; ++c) {
                const int code = who.codes[l * ploidy + c];
                if (code != 0) ++seen[code % unit];
            }
    int best = 0;
    std::size_t most = 0;
    for (const auto& [remainder, copies] : seen)  // in increasing remainder
        if (copies > most) {
            best = remainder;
            most = copies;
        }
    return best;
}

}  // namespace

Conversion convertGenepop(const GenepopFile& file, const ConversionChoice& choice) {
    Conversion out;
    const std::size_t numbLoci = file.loci.size();
    const std::size_t ploidy = static_cast<std::size_t>(file.ploidy);
    const std::size_t copies = choice.firstCopy ? 1 : ploidy;
    out.matrix.assign(numbLoci, {});
    out.remainders.assign(numbLoci, 0);
    for (std::size_t l = 0; l < numbLoci; ++l)
        if (!choice.units.empty() && choice.units[l] > 0)
            out.remainders[l] = ladderRemainder(file, l, choice.units[l]);
    std::map<std::pair<std::size_t, int>, int> offLadder;  // (locus, code) -> copies

    auto take = [&](const GenepopPopulation& pop, PopulationYield& yield) {
        yield.individuals = pop.individuals.size();
        yield.lines = yield.individuals * copies;
        std::vector<bool> heterozygous(pop.individuals.size(), false);
        for (std::size_t l = 0; l < numbLoci; ++l) {
            const int unit = choice.units.empty() ? 0 : choice.units[l];
            const int remainder = out.remainders[l];
            for (std::size_t i = 0; i < pop.individuals.size(); ++i) {
                const int* g = &pop.individuals[i].codes[l * ploidy];
                if (ploidy == 2 && g[0] != 0 && g[1] != 0 && g[0] != g[1]) heterozygous[i] = true;
                std::size_t first = 0;
                if (choice.firstCopy && ploidy == 2 && g[0] == 0 && g[1] != 0) {
                    first = 1;
                    ++yield.secondCopy;
                }
                for (std::size_t c = first; c < first + copies; ++c) {
                    const int code = g[c];
                    if (code == 0) {
                        out.matrix[l].push_back(-9);
                        ++yield.missing;
                        continue;
                    }
                    if (unit > 0 && code % unit != remainder) ++offLadder[{l, code}];
                    out.matrix[l].push_back(repeatCount(code, unit, remainder));
                }
            }
        }
        yield.values = yield.lines * numbLoci;
        for (bool h : heterozygous) yield.heterozygous += h;
    };
    take(file.populations[static_cast<std::size_t>(choice.sue)], out.sue);
    take(file.populations[static_cast<std::size_t>(choice.tha)], out.tha);
    out.sueLines = static_cast<int>(out.sue.lines);
    out.thaLines = static_cast<int>(out.tha.lines);

    for (const auto& [where, count] : offLadder)
        out.offLadder.push_back(
            {where.first, where.second,
             repeatCount(where.second, choice.units[where.first], out.remainders[where.first]),
             count});
    for (std::size_t l = 0; l < numbLoci; ++l) {
        std::set<int32_t> sue, tha;
        for (std::size_t v = 0; v < out.matrix[l].size(); ++v) {
            if (out.matrix[l][v] == -9) continue;
            (v < out.sue.lines ? sue : tha).insert(out.matrix[l][v]);
        }
        if (sue.size() <= 1 && tha.size() <= 1) out.monomorphic.push_back(l);
    }
    return out;
}

std::string formatDataFile(const AlleleMatrix& matrix, int sueLines, int thaLines) {
    std::string text = "locus sue1..sue" + std::to_string(sueLines) + " tha1..tha" +
                       std::to_string(thaLines) + "\n";
    for (const auto& row : matrix) {
        for (std::size_t v = 0; v < row.size(); ++v) {
            if (v > 0) text += ' ';
            text += std::to_string(row[v]);
        }
        text += '\n';
    }
    return text;
}
