#pragma once

#include <string>

// The escapes of the report's three kinds of text, so that a name holding
// characters that mean something to HTML, Markdown or a TSV reader (a
// population called "A<B & C|D") shows as it is written.

// Text for an HTML element or a quoted attribute: & < > " ' as entities.
std::string htmlText(const std::string& text);

// Text for a Markdown paragraph or table cell: & < > as entities (no raw
// HTML), Markdown's punctuation and | behind a backslash, line breaks as
// spaces.
std::string markdownText(const std::string& text);

// A field of a tab-separated file as R's read.delim and pandas' read_csv
// read it: tabs and line breaks become spaces, and a field holding a double
// quote is quoted, its quotes doubled.
std::string tsvField(const std::string& text);

// The first line of `text` alone, for a cell.
std::string firstLine(const std::string& text);
