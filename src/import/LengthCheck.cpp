#include "import/LengthCheck.h"

#include <algorithm>
#include <map>
#include <vector>

namespace {

constexpr int kSmallestLength = 50;
constexpr double kLadderShare = 0.9;
constexpr std::size_t kLociListed = 10;

// The copies of each code (0, missing, left out) at locus `l`.
std::map<int, std::size_t> codesAt(const GenepopFile& file, std::size_t l) {
    std::map<int, std::size_t> copies;
    const std::size_t ploidy = static_cast<std::size_t>(file.ploidy);
    for (const GenepopPopulation& pop : file.populations)
        for (const GenepopIndividual& who : pop.individuals)
            for (std::size_t c = 0; c < ploidy; ++c) {
                const int code = who.codes[l * ploidy + c];
                if (code != 0) ++copies[code];
            }
    return copies;
}

// Whether 90 % or more of the copies share one remainder modulo a unit from
// 2 to 6.
bool onALadder(const std::map<int, std::size_t>& copies) {
    std::size_t total = 0;
    for (const auto& entry : copies) total += entry.second;
    for (int unit = 2; unit <= 6; ++unit) {
        std::vector<std::size_t> byRemainder(static_cast<std::size_t>(unit), 0);
        for (const auto& [code, n] : copies)
            byRemainder[static_cast<std::size_t>(code % unit)] += n;
        const std::size_t most = *std::max_element(byRemainder.begin(), byRemainder.end());
        if (static_cast<double>(most) >= kLadderShare * static_cast<double>(total)) return true;
    }
    return false;
}

}  // namespace

std::string basePairWarning(const GenepopFile& file) {
    std::size_t polymorphic = 0;
    std::vector<std::string> lengths;
    for (std::size_t l = 0; l < file.loci.size(); ++l) {
        const std::map<int, std::size_t> copies = codesAt(file, l);
        if (copies.size() < 2) continue;
        ++polymorphic;
        const int smallest = copies.begin()->first, largest = copies.rbegin()->first;
        if (smallest >= kSmallestLength && onALadder(copies))
            lengths.push_back(file.loci[l] + " " + std::to_string(smallest) + "-" +
                              std::to_string(largest));
    }
    if (lengths.empty() || 2 * lengths.size() < polymorphic) return "";
    std::string listed;
    for (std::size_t k = 0; k < lengths.size() && k < kLociListed; ++k)
        listed += (k == 0 ? "" : ", ") + lengths[k];
    if (lengths.size() > kLociListed)
        listed += ", ... (" + std::to_string(lengths.size() - kLociListed) + " more)";
    return "foundabc-import: warning: the codes look like fragment lengths in base pairs, not "
           "repeat counts: at " +
           std::to_string(lengths.size()) + " of " + std::to_string(polymorphic) +
           " polymorphic loci every code is " + std::to_string(kSmallestLength) +
           " or more and 90 % of the copies or more are on one ladder of 2 to 6 base pairs (" +
           listed +
           "). Taken as counts, each step of U base pairs counts as U mutations: give the repeat "
           "unit with --repeat-unit U or --repeat-units FILE.\n";
}
