// A file put in place whole or not at all. The new content is written into a
// file of its own in the target's folder (one without a name where the file
// system allows, so that a process killed part-way leaves nothing behind),
// flushed, and renamed over the target; then the folder is flushed. Every
// reader sees the old file or the new one, never a mixture, and a failure
// at any step leaves the old file as it was.
//
// A symbolic link at the path stays a link: the file it names is the one
// replaced. An existing file keeps its mode and owner.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

class FileReplacement {
public:
    // Makes ready to replace the file at path; a file that does not exist
    // yet is made with the given mode (whatever the process's mask), owned
    // by the caller. See ok().
    FileReplacement(const char *path, mode_t mode);
    // Discards a replacement that was not committed: nothing is left.
    ~FileReplacement();
    FileReplacement(const FileReplacement &) = delete;
    FileReplacement &operator=(const FileReplacement &) = delete;

    // Whether a replacement could be started; else error() says why: the
    // target is no regular file (EISDIR, EINVAL), or the folder refuses a
    // new file (EACCES, EROFS, ...).
    bool ok() const { return fd_ >= 0; }
    int error() const { return error_; }
    // The file that is replaced: the path with its links followed.
    const std::string &target() const { return target_; }
    // Whether the target existed when the replacement was started.
    bool existed() const { return existed_; }

    // False with error() set when the data could not be written whole.
    bool Write(const void *data, size_t n);
    // Writes the whole content of an open file, from its start.
    bool CopyFrom(int from);
    // Flushes the new content, puts it in place and flushes the folder.
    // False with error() set when any step fails; up to the rename the old
    // file is untouched. A failed flush of the folder comes after the
    // rename: the new file is in place then, but may not outlast a crash.
    bool Commit();

private:
    bool Fail(int err);
    void Discard();
    bool OpenUnnamed(const std::string &folder);
    bool OpenNamed();
    bool Link();

    std::string target_;
    std::string temp_;  // the new file's name while it has one of its own
    int fd_ = -1;
    int error_ = 0;
    bool existed_ = false;
    bool unnamed_ = false;
    bool committed_ = false;
    struct stat old_ {};
};

// Writes all n bytes at the descriptor's position, resuming after partial
// writes and interruptions: 0, or the error number that stopped it.
int WriteAll(int fd, const void *data, size_t n);

// The path with every symbolic link of its last component followed (at most
// 40), also one that names no file yet. False with errno set on ELOOP or a
// link that cannot be read.
bool FollowLinks(const char *path, std::string &out);
