#pragma once

// The run's files: the settings record and the parameter file that fills it,
// the observed data file, and the results file.
#include "io/DataFile.h"
#include "io/ParameterFile.h"
#include "io/Params.h"
#include "io/ResultsFile.h"
