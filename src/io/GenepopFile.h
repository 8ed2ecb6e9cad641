#pragma once

#include <istream>
#include <string>
#include <vector>

#include "sim/AlleleMatrix.h"

// A Genepop file as read: its loci and its populations of individuals, each
// genotype split into its gene copies. Codes are kept as written (fragment
// lengths or repeat counts); 0 is a missing copy (written 00 or 000).

struct GenepopIndividual {
    std::string name;        // the text before the comma, trimmed
    int line = 0;            // its line in the file (from 1)
    std::vector<int> codes;  // copy c of locus l at l * ploidy + c
};

struct GenepopPopulation {
    int popLine = 0;   // the line of the `Pop` that opens it
    std::string name;  // the name after `Pop` on that line, trimmed; "" when none
    std::vector<GenepopIndividual> individuals;
};

struct GenepopFile {
    std::string title;
    std::vector<std::string> loci;
    std::vector<int> digits;  // digits per copy of each locus: 2 or 3
    int ploidy = 0;           // 1 or 2, the same for every genotype
    std::vector<GenepopPopulation> populations;
};

// Reads a Genepop file from `in`. The first line is the title; locus names
// follow, one per line or several per line separated by commas, up to the
// first `Pop` line (any letter case, alone or followed by a blank and a
// population name, which is kept); each population is a `Pop` line and its
// individuals, `name , genotypes`, one genotype per locus separated by blanks
// or tabs. A genotype is 2 or 3 digits (haploid) or 4 or 6 digits (diploid);
// every genotype of the file has one ploidy and every genotype of a locus one
// width, in every population. Blank lines are skipped; a carriage return
// before a line end is part of the line end; a line of more than 1 MiB is
// refused.
//
// Returns an empty string on success, else the first problem as a message
// that starts with "`fileName` line N: " (the file is then left incomplete).
std::string readGenepop(std::istream& in, const std::string& fileName, GenepopFile& file);

// readGenepop of the file at `path`, refusing a directory ("PATH: is a
// directory") and naming a file that cannot be opened ("cannot open the
// Genepop file PATH"). Returns "" or the problem.
std::string readGenepopFile(const std::string& path, GenepopFile& file);

// Writing.

// Simulated lines as a haploid Genepop file, for programs that read that
// format: a title line, the loci `locus1`..`locusL` one per line, then `Pop`
// and the `sue` lines as individuals `sue1`..`sueN`, then `Pop` and the `tha`
// lines `tha1`..`thaM`. Every line is one haploid individual whose genotypes
// are 3-digit codes, the allele values themselves (repeat counts); -9 is
// written as the missing code 000. foundabc-import reads the file back, with
// populations 1 and 2 (or sue1 and tha1) and no repeat unit, to the same
// values.
//
// The matrix is laid out as the data file's (one row per locus, the
// `numbSueLines` sue values first, then the `numbThaLines` tha values), so
// the values a data file would hold can be written here unchanged.

// The file's text. Returns false, with the reason in `error`, when there is
// no locus, a row is shorter than the lines or a value is neither -9 nor 1 to
// 999 (the codes that 3 digits can hold besides the missing 000).
bool formatGenepop(const AlleleMatrix& matrix, int numbSueLines, int numbThaLines,
                   std::string& text, std::string& error);

// Writes that text to `path`: the file appears complete or not at all (see
// FinishedFile); an existing file is replaced only with `replace`. Every error
// prints "error: genepop: ..." on standard output and ends the process with
// status 1, as the run's other writers do.
void writeGenepopFile(const std::string& path, const AlleleMatrix& matrix, int numbSueLines,
                      int numbThaLines, bool replace);
