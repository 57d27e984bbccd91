#include "sandbox_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "adapter_state.h"

namespace sim {

SandboxLock::SandboxLock(const std::string &dir, bool create)
{
    std::string path = dir + "/lock";
    fd_ = open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
    if (fd_ < 0)
        return;
    while (flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            close(fd_);
            fd_ = -1;
            return;
        }
    }
}

SandboxLock::~SandboxLock()
{
    if (fd_ >= 0)
        close(fd_);  // releases the lock
}

uint64_t SandboxLock::Generation() const
{
    // A lock file shorter than the count (a sandbox made before the count
    // was kept) has had no counted change.
    uint64_t generation = 0;
    if (fd_ < 0 || pread(fd_, &generation, sizeof generation, 0) != ssize_t(sizeof generation))
        return 0;
    return generation;
}

uint64_t SandboxLock::NextGeneration()
{
    const uint64_t next = Generation() + 1;
    if (fd_ < 0 || pwrite(fd_, &next, sizeof next, 0) != ssize_t(sizeof next))
        Bad(std::string("cannot count a change in the sandbox's lock file: ") + std::strerror(errno));
    return next;
}

LockedSandbox::LockedSandbox(const std::string &dir) : SandboxLock(dir)
{
    if (!ok())
        Bad(dir + " is not a driver stand-in sandbox (no lock file)");
}

} // namespace sim
