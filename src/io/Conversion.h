#pragma once

#include <string>
#include <vector>

#include "io/GenepopFile.h"
#include "sim/AlleleMatrix.h"

// Finds the population that `key` names: its number in the file (1, 2, ...)
// when `key` is all digits, else the name on its `Pop` line or the name of
// its first individual. Returns its index from 0, or -1 with the reason in
// `error` (no such population, with the names the file has; a name that two
// populations answer to; a population without individuals). `option`
// (--sue or --tha) starts the message.
int findPopulation(const GenepopFile& file, const std::string& key, const std::string& option,
                   std::string& error);

// How the genotypes become the lines of the data file.
struct ConversionChoice {
    int sue = 0, tha = 0;    // the populations' indices
    bool firstCopy = false;  // one line per individual (else one per copy)
    std::vector<int> units;  // repeat unit of each locus; empty: codes are counts
};

// A code off its locus's ladder (its remainder modulo the unit is not the
// ladder's) and the count it was rounded to, with the number of copies written
// that carried it.
struct OffLadder {
    std::size_t locus;
    int code, count, copies;
};

// What one population gave.
struct PopulationYield {
    std::size_t individuals = 0, lines = 0, values = 0, missing = 0;
    std::size_t heterozygous = 0;  // individuals with two different known copies at a locus
    std::size_t secondCopy = 0;    // with firstCopy: genotypes whose first copy was missing
};

struct Conversion {
    AlleleMatrix matrix;  // one row per locus, the sue lines first
    int sueLines = 0, thaLines = 0;
    PopulationYield sue, tha;
    std::vector<int> remainders;           // each locus's ladder remainder (0 without a unit)
    std::vector<OffLadder> offLadder;      // by locus, then code
    std::vector<std::size_t> monomorphic;  // loci with one allele in each population
};

// The lines of the chosen populations: with `firstCopy`, the first copy of
// each individual (its second where the first is missing); otherwise every
// copy, an individual's copies on consecutive lines. A missing copy becomes
// -9. With a unit, a locus's ladder is the remainder modulo the unit that most
// of its copies carry in the whole file (ties: the smallest), since fragment
// lengths hold a flanking region of any length and stepwise mutation reads
// only differences; a code becomes (code - remainder) / unit, and a code off
// the ladder the nearest rung (halves up, never below rung 0).
Conversion convertGenepop(const GenepopFile& file, const ConversionChoice& choice);

// The data file's text: the header `locus sue1..sueN tha1..thaM`, then one
// line per locus of its values separated by single blanks.
std::string formatDataFile(const AlleleMatrix& matrix, int sueLines, int thaLines);
