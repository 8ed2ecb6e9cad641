#pragma once

// Appends one accepted parameter set to the results file `outfileName`
// (created if missing, never truncated). The row with number `numbAccepted`
// = 1 is preceded by the header line and an empty line, so every run that
// accepts something starts its own table. The file is opened and closed for
// each row, and a row (with its header) is handed to the system in a single
// write: a run that is stopped leaves only complete rows.
//
// Errors print a message and end the process with status 1: "Error opening
// outfile" when the file cannot be opened, "error: printOutfile: cannot write
// NAME" when the row cannot be written completely (a partly written row is
// removed again where possible).
void printOutfile(double My, double TimeToOri, double PopSizeOriTha, double PopSizePreTha,
                  double PopSizeOriSue, double PopSizePreSue, double FracSueMono, double DS,
                  int numbAccepted, const char* outfileName);
