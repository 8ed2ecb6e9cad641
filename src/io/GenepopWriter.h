#pragma once

#include <string>

#include "sim/AlleleMatrix.h"

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

// The file's text. Returns false, with the reason in `error`, when a row is
// shorter than the lines or a value is neither -9 nor 1 to 999 (the codes
// that 3 digits can hold besides the missing 000).
bool formatGenepop(const AlleleMatrix& matrix, int numbSueLines, int numbThaLines,
                   std::string& text, std::string& error);

// Writes that text to `path`: the file appears complete or not at all (see
// FinishedFile); an existing file is replaced only with `replace`. Every error
// prints "error: genepop: ..." on standard output and ends the process with
// status 1, as the run's other writers do.
void writeGenepopFile(const std::string& path, const AlleleMatrix& matrix, int numbSueLines,
                      int numbThaLines, bool replace);
