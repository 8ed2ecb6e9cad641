#include "sim/Origins.h"

#include <array>
#include <vector>

#include "base/Fail.h"

int determineNumbOrigins(int sueLines, const Genealogy& gen) {
    if (sueLines < 1) fail("\n error: determineNumbOrigins: sueLines < 1 \n");
    if (sueLines > gen.startLines)
        fail("\n error: determineNumbOrigins: sueLines > gen->startLines \n");
    if (sueLines == 1) return 1;

    // Per event: its own label and those of its two children. A label is 1
    // when the subtree below the node holds `sue` leaves only, 2 when it holds
    // a `tha` leaf. Children are always created by earlier events, so one pass
    // in stored order has every label it needs.
    std::vector<std::array<int, 3>> labels(static_cast<size_t>(gen.numbEvents), {0, 0, 0});
    int count = 0;
    for (int i = 0; i < gen.numbEvents; ++i) {
        for (int c = 1; c <= 2; ++c) {
            const int node = gen.events[i][c];
            if (node <= sueLines)
                labels[i][c] = 1;
            else if (node <= gen.startLines)
                labels[i][c] = 2;
            else
                labels[i][c] = labels[node - gen.startLines - 1][0];
        }
        labels[i][0] = (labels[i][1] == 1 && labels[i][2] == 1) ? 1 : 2;
        if (labels[i][1] != labels[i][2]) ++count;
    }
    return count;
}
