// The sandbox's files: where each thing lives under the sandbox folder, reads
// bounded in size, whole-file replacement and appends; the adapters' state
// files, whose parsed states a process keeps while the sandbox is unchanged,
// and their firmware block files. Every call here is made under the
// sandbox's lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "adapter_state.h"
#include "sandbox_lock.h"

namespace sim {

constexpr size_t kMaxJournal = size_t(256) << 20;  // the journal and the calls file
constexpr size_t kMaxFlash = 8 * kFlashBlockSize;

std::string AdapterPath(const std::string &dir, const std::string &iface);
std::string FlashPath(const std::string &dir, const std::string &iface);
std::string JournalPath(const std::string &dir);
std::string CallsPath(const std::string &dir);
std::string FileFaultsPath(const std::string &dir);

// Reads at most max bytes; false when the file does not exist.
bool ReadBounded(const std::string &path, size_t max, std::string &out);
void AppendFile(const std::string &path, const void *data, size_t n);
// Empties the file, making it when missing.
void TruncateFile(const std::string &path);
// Replaces the file at once: a reader sees the old content or the new.
void ReplaceFile(const std::string &path, const std::string &data);

bool ValidIfaceName(const std::string &iface);

// False when the adapter has no state file; throws when the file is corrupt.
// The file is parsed again only when the sandbox's generation or the file
// itself (device, inode, size, modification time) differs from when this
// process last read or wrote it.
bool LoadAdapter(const SandboxLock &lock, const std::string &dir, const std::string &iface,
                 AdapterState &s);
// Replaces the state file at once, so that no reader ever sees half a state,
// and counts the change in the sandbox's generation.
void SaveAdapter(SandboxLock &lock, const std::string &dir, const AdapterState &s);
// Removes the state file (the adapter is gone) and counts the change.
void RemoveAdapterFile(SandboxLock &lock, const std::string &dir, const std::string &iface);

void AppendFlashBlock(const std::string &dir, const std::string &iface, const uint8_t *block);
void ClearFlash(const std::string &dir, const std::string &iface);

} // namespace sim
