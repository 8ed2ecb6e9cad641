#include "study/ReportOutline.h"

#include <stdexcept>

const std::vector<ReportSectionName>& reportSections() {
    static const std::vector<ReportSectionName> sections = {
        {"data", "The data"},
        {"models", "The models and their priors"},
        {"choice", "Model choice"},
        {"estimates", "Estimates"},
        {"calibration", "Calibration"},
        {"enough", "Enough simulations?"},
        {"fit", "Fit"},
        {"warnings", "Warnings"},
        {"provenance", "Provenance"},
    };
    return sections;
}

std::string sectionTitle(const std::string& id) {
    for (const ReportSectionName& s : reportSections())
        if (id == s.id) return s.title;
    throw std::logic_error("no report section " + id);
}
