#pragma once

#include <string>
#include <vector>

// The sections of a study's report, in page order: the id of each (the HTML
// anchor the table of contents links to) and its title, shared by the HTML and
// the Markdown so that both read alike.
struct ReportSectionName {
    const char* id;
    const char* title;
};

const std::vector<ReportSectionName>& reportSections();

// The title of the section `id`; throws std::logic_error for an unknown id.
std::string sectionTitle(const std::string& id);
