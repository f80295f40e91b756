// Output files written whole or not at all. A file is written under a
// temporary name beside its target ("." + name + ".part-PID-N"), every write
// is checked, and only a complete, flushed and closed file is renamed over
// the target; on any failure the temporary is removed and an earlier file of
// that name stays as it was.
//
// A run killed by SIGINT, SIGTERM or SIGHUP while writing would leave the
// temporary behind; RemoveTemporariesOnSignals() installs handlers that
// unlink the temporaries being written and then end the process by the same
// signal.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace harness {

// A file that cannot be written; the message names the target and the
// reason.
class OutputFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TemporaryOutput {
public:
    // Creates the temporary beside `target` (never an existing file), or
    // beside the file it names when it is a symbolic link. Throws
    // OutputFileError when `target` exists but is not a regular file.
    explicit TemporaryOutput(const std::string& target);
    // Removes the temporary unless it was committed.
    ~TemporaryOutput();
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    const std::string& target() const { return target_; }
    const std::string& path() const { return path_; }
    int fd() const { return fd_; }

    // Writes all `size` bytes at `offset`; false (with errno kept for
    // failure()) when the system wrote fewer.
    bool writeAt(const void* data, std::size_t size, std::int64_t offset);
    // Appends at the end of what was written by write().
    bool write(const void* data, std::size_t size);
    // The first write error, as the system describes it; empty when none.
    const std::string& failure() const { return failure_; }

    // Flushes to the disk, closes and renames over the target. Throws
    // OutputFileError (the temporary removed) when any step fails or an
    // earlier write failed.
    void commit();

private:
    void discard();
    [[noreturn]] void fail(const std::string& what);

    std::string target_;
    std::filesystem::path replaced_; // the file the rename replaces: target_, or the file its link names
    std::string path_;
    int fd_ = -1;
    int slot_ = -1;
    std::int64_t end_ = 0;
    std::string failure_;
    bool committed_ = false;
};

// Installs handlers of SIGINT, SIGTERM and SIGHUP that remove the
// temporaries of writes in progress and then let the signal end the process
// as it would have (default action, re-raised). Call once, early.
void RemoveTemporariesOnSignals();

// Checks, before anything is rendered, that `path` can be written: it is not
// a folder, and its folder exists and is writable, or can be created (the
// nearest existing folder above is writable). Throws OutputFileError.
void CheckOutputFolder(const std::string& path);

} // namespace harness
