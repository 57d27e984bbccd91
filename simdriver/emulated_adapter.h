// The driver stand-in's answer to a driver request: what the preload library
// calls for each private ioctl of a sandboxed process.
#pragma once

#include <cstddef>

namespace sim {

// Whether this command sends data to the driver (its bytes are journaled).
bool CommandSends(unsigned long code, int command);

// Access to the requesting program's memory; false when the range is not
// accessible (the request then fails with EFAULT, as copy_from_user would).
struct UserMemory {
    bool (*read)(const void *src, void *dst, size_t n);
    bool (*write)(void *dst, const void *src, size_t n);
};
// The calling process's own memory, checked address by address as the
// kernel's copy_from_user and copy_to_user do.
extern const UserMemory ProgramMemory;

// Answers one private ioctl for the sandbox at root. ifr is the program's
// struct ifreq pointer. Returns the ioctl result and sets *err. A request of
// a command that hangs is journaled (EINPROGRESS) and sets *hang, when given:
// the caller is then to wait for ever, the sandbox's lock already released.
int ServeRequest(const char *root, bool fd_valid, unsigned long code, const void *ifr,
                 const UserMemory &mem, int *err, bool *hang = nullptr);

} // namespace sim
