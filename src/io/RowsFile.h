#pragma once

#include <string>

#include "io/ResultsFile.h"

// The chosen rows as a tidy tab-separated table for other programs
// (`foundabc-summary --rows FILE.tsv`): a header line
//   run  rep  My  TimeToOri  PopSizeOriTha  PopSizePreTha  PopSizeOriSue
//   PopSizePreSue  FracSueMono  DS
// then one line per row in file order: the row's run (its header's number,
// from 1), its Rep#, and its values, each as the shortest decimal text that
// reads back as the same double (e.g. 0.000123, 5.35e-311), without padding.
std::string formatRows(const RowSelection& selection);
