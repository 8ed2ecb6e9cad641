#include "study/StepKeys.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "base/Fnv.h"
#include "io/FinishedFile.h"
#include "io/PriorsFile.h"

bool StepKeys::unchanged(const std::string& name, uint64_t key) const {
    std::ifstream in(path(name));
    std::string text;
    uint64_t recorded = 0;
    return in && std::getline(in, text) && parseFingerprint(text, recorded) && recorded == key;
}

void StepKeys::record(const std::string& name, uint64_t key) const {
    FinishedFile file(path(name));
    if (!file.error().empty() || !file.write(fingerprintText(key) + "\n") || !file.commit(true))
        throw std::runtime_error("cannot write " + path(name) + " (" + file.error() + ")");
}

void StepKeys::forget(const std::string& name) const { std::remove(path(name).c_str()); }

uint64_t fileFingerprint(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return 0;
    std::ostringstream text;
    text << in.rdbuf();
    Fnv f;
    f.addText(text.str());
    return f.value();
}
