#pragma once

#include <cstdint>
#include <string>

// Whether a step of a study must run again: each step's inputs and settings
// are summed into a key, kept in STUDY/work/STEP.key once the step has
// finished. A step whose file holds its key found its inputs unchanged; a
// step killed half-way never wrote its key, so it runs again.
class StepKeys {
  public:
    explicit StepKeys(std::string workFolder) : folder_(std::move(workFolder)) {}

    // True when step `name` finished last with `key`.
    bool unchanged(const std::string& name, uint64_t key) const;

    // Records that step `name` finished with `key` (through a finished file,
    // so that a kill leaves the old key or none). Throws std::runtime_error
    // naming the file when it cannot be written.
    void record(const std::string& name, uint64_t key) const;

    // Forgets step `name`'s key, before the step rewrites its outputs.
    void forget(const std::string& name) const;

  private:
    std::string path(const std::string& name) const { return folder_ + "/" + name + ".key"; }
    std::string folder_;
};

// The fingerprint of a file's bytes (0 when it cannot be read), for a step's
// key.
uint64_t fileFingerprint(const std::string& path);
