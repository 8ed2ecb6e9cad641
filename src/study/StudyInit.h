#pragma once

#include <string>

// `foundabc-study --init FOLDER --genepop FILE --sue X --tha Y`: a study
// folder that runs as it is: the Genepop file copied in, study.toml naming
// it, and base.txt, a commented parameter file whose priors are set wide and
// from the data (each with a comment saying why). Two models are set up, the
// plain growth model and the founder-count model with two origins.

struct StudyInitOptions {
    std::string folder, genepop, sue, tha;
    int repeatUnit = 0;  // 0: the codes are repeat counts
};

// Writes the folder (which must not hold a study.toml yet); returns "" or
// the problem.
std::string initStudy(const StudyInitOptions& options);
