// File-system faults of a sandbox: rules that make calls on files inside the
// sandbox folder fail as a failing disk, a full or read-only file system or
// NFS would. They are kept in DIR/filefaults, one rule a line:
//
//   REL \t OP \t ERRNO \t AFTER \n
//
// REL is matched as a prefix of a file's path relative to the sandbox folder.
// The preload library reads the file whenever a call needs the rules, so the
// matching here allocates nothing and touches no global state.
#pragma once

#include <cstddef>

namespace sim {

enum class FileOp { Write, Sync, Close, Open };

// The rules file and its largest size; a REL fits in kMaxFaultRel bytes.
constexpr const char *kFileFaultsName = "filefaults";
constexpr size_t kMaxFileFaults = 16384;
constexpr size_t kMaxFaultRel = 255;

// Name of an operation in the rules file and on simctl's command line.
const char *FileOpName(FileOp op);

// Whether rel (relative to the sandbox folder) is one of the stand-in's own
// files: the lock, the journal, the calls file, the adapters' states and the
// rules themselves. They never get faults, so that requests and changes go on.
bool OwnSandboxFile(const char *rel);

// The rule for a file at rel and this operation in the rules text (n bytes):
// of the rules whose REL is a prefix of rel, the one with the longest REL.
// False when none applies.
bool MatchFileFault(const char *text, size_t n, const char *rel, FileOp op, int *err, long *after);

} // namespace sim
