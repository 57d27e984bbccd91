// The sandbox's lock: every request and every change holds DIR/lock
// exclusively. The lock file also holds the sandbox's generation, the number
// of changes made to its adapters' state files, so that a process can keep
// the states it has read for as long as nothing has changed.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

// Exclusive flock on DIR/lock for the life of the object.
class SandboxLock {
public:
    // create: make the lock file when missing (sandbox set-up only).
    explicit SandboxLock(const std::string &dir, bool create = false);
    ~SandboxLock();
    SandboxLock(const SandboxLock &) = delete;
    SandboxLock &operator=(const SandboxLock &) = delete;
    bool ok() const { return fd_ >= 0; }

    // The changes made so far (0 in a sandbox that has had none).
    uint64_t Generation() const;
    // Counts one more change before it is made; throws when the count cannot
    // be kept, so that no change goes uncounted.
    uint64_t NextGeneration();

private:
    int fd_ = -1;
};

// The lock of a sandbox operation: throws when dir is no sandbox.
class LockedSandbox : public SandboxLock {
public:
    explicit LockedSandbox(const std::string &dir);
};

} // namespace sim
