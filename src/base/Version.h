#pragma once

// The version of the suite. The three programs are released together and
// read and write one another's files, so they print one version: a table
// or sample is always read by the version of the summary that matches the
// run that made it.
inline constexpr const char* foundabcVersion = "0.3.0";
