#include "harness/images/OutputFile.h"

#include "harness/state/Text.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace harness {

namespace {

namespace fs = std::filesystem;

#if defined(_WIN32)
int OpenNew(const char* path)
{
    return ::_open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long long WriteAt(int fd, const void* data, std::size_t size, std::int64_t offset)
{
    if (::_lseeki64(fd, offset, SEEK_SET) < 0)
        return -1;
    const unsigned chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
    return ::_write(fd, data, chunk);
}
int FlushToDisk(int fd) { return ::_commit(fd); }
int CloseFile(int fd) { return ::_close(fd); }
int RemoveFile(const char* path) { return ::_unlink(path); }
int ProcessId() { return ::_getpid(); }
#else
int OpenNew(const char* path)
{
    return ::open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
long long WriteAt(int fd, const void* data, std::size_t size, std::int64_t offset)
{
    return ::pwrite(fd, data, size, static_cast<off_t>(offset));
}
int FlushToDisk(int fd) { return ::fsync(fd); }
int CloseFile(int fd) { return ::close(fd); }
int RemoveFile(const char* path) { return ::unlink(path); }
int ProcessId() { return static_cast<int>(::getpid()); }
#endif

// Temporaries being written, for the signal handlers. A slot is free (0),
// being filled (1) or holds a name the handler may remove (2); the names are
// plain bytes so that the handler needs nothing but unlink.
constexpr int kSlots = 32;
constexpr std::size_t kNameBytes = 4096;
struct Slot {
    std::atomic<int> state{0};
    char name[kNameBytes];
};
Slot gSlots[kSlots];

int Register(const std::string& path)
{
    if (path.size() >= kNameBytes)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = 0;
        if (gSlots[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(gSlots[i].name, path.c_str(), path.size() + 1);
            gSlots[i].state.store(2);
            return i;
        }
    }
    return -1; // more writes at once than slots: this one is not cleaned up on a signal
}

void Unregister(int slot)
{
    if (slot >= 0)
        gSlots[slot].state.store(0);
}

extern "C" void RemoveTemporariesAndDie(int sig)
{
    for (Slot& slot : gSlots)
        if (slot.state.load() == 2)
            RemoveFile(slot.name);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

std::string SystemText(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

// What a write to `target` replaces: the file itself, or the file a symbolic
// link names, through a chain of links and whether that file exists yet or
// not (the links stay). A target that exists but is not a regular file (a
// folder, a device such as /dev/null, a pipe) is refused: the rename would
// put a file in its place.
fs::path ReplacedFile(const std::string& target)
{
    fs::path file(target);
    std::error_code ec;
    // As many links as the system follows in one path (Linux: 40).
    for (int hop = 0; hop < 40 && fs::is_symlink(file, ec); ++hop) {
        const fs::path link = fs::read_symlink(file, ec);
        if (ec)
            break;
        file = link.is_absolute() ? link : file.parent_path() / link;
    }
    const fs::file_status status = fs::status(file, ec);
    if (fs::is_directory(status))
        throw OutputFileError("cannot write \"" + target + "\": it names a folder, not a file");
    if (fs::exists(status) && !fs::is_regular_file(status))
        throw OutputFileError("cannot write \"" + target + "\": it is not a regular file (a device, pipe or socket)");
    return file;
}

// The temporary's name for `file`: "." + name + ".part-PID-N", with a long
// name replaced by its hash so that the temporary's name stays within the
// system's limit on a name (255 bytes) whenever the target's does.
std::string TemporaryName(const fs::path& file, unsigned serial)
{
    constexpr std::size_t kLongestKeptName = 160;
    std::string name = file.filename().string();
    if (name.size() > kLongestKeptName) {
        char hash[17];
        std::snprintf(hash, sizeof hash, "%016llx",
                      static_cast<unsigned long long>(std::hash<std::string>{}(name)));
        name = hash;
    }
    return Concat({".", name, ".part-", std::to_string(ProcessId()), "-", std::to_string(serial)});
}

} // namespace

TemporaryOutput::TemporaryOutput(const std::string& target) : target_(target)
{
    static std::atomic<unsigned> counter{0};
    const fs::path t = ReplacedFile(target);
    replaced_ = t;
    const fs::path folder = t.has_parent_path() ? t.parent_path() : fs::path(".");
    // Registered before the file exists, so that a signal between the two
    // finds the name (unlinking a name not yet created does no harm).
    for (int attempt = 0; fd_ < 0; ++attempt) {
        path_ = (folder / TemporaryName(t, counter++)).string();
        slot_ = Register(path_);
        fd_ = OpenNew(path_.c_str());
        if (fd_ < 0) {
            const int error = errno;
            Unregister(slot_);
            slot_ = -1;
            if (error != EEXIST || attempt >= 100)
                throw OutputFileError("cannot write \"" + target + "\": cannot create \"" + path_ +
                                      "\": " + SystemText(error));
        }
    }
}

TemporaryOutput::~TemporaryOutput()
{
    if (!committed_)
        discard();
}

bool TemporaryOutput::writeAt(const void* data, std::size_t size, std::int64_t offset)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const long long written = WriteAt(fd_, bytes, size, offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (failure_.empty())
                failure_ = written < 0 ? SystemText(errno) : std::string("the system wrote nothing");
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
        offset += written;
        if (offset > end_)
            end_ = offset;
    }
    return true;
}

bool TemporaryOutput::write(const void* data, std::size_t size)
{
    return writeAt(data, size, end_);
}

void TemporaryOutput::commit()
{
    if (!failure_.empty())
        fail("writing \"" + path_ + "\" failed: " + failure_);
    if (FlushToDisk(fd_) != 0)
        fail("flushing \"" + path_ + "\" failed: " + SystemText(errno));
    const int fd = fd_;
    fd_ = -1;
    if (CloseFile(fd) != 0)
        fail("closing \"" + path_ + "\" failed: " + SystemText(errno));
    std::error_code ec;
    fs::rename(path_, replaced_, ec);
    if (ec)
        fail("renaming \"" + path_ + "\" to it failed: " + ec.message());
    committed_ = true;
    Unregister(slot_);
    slot_ = -1;
}

void TemporaryOutput::discard()
{
    if (fd_ >= 0)
        CloseFile(fd_);
    fd_ = -1;
    RemoveFile(path_.c_str());
    Unregister(slot_);
    slot_ = -1;
}

void TemporaryOutput::fail(const std::string& what)
{
    discard();
    throw OutputFileError("cannot write \"" + target_ + "\": " + what);
}

void RemoveTemporariesOnSignals()
{
#if defined(_WIN32)
    std::signal(SIGINT, RemoveTemporariesAndDie);
    std::signal(SIGTERM, RemoveTemporariesAndDie);
#else
    struct sigaction action {};
    action.sa_handler = RemoveTemporariesAndDie;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal the caller ignores (nohup, a shell's background job)
        // stays ignored.
        struct sigaction previous {};
        if (sigaction(sig, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        sigaction(sig, &action, nullptr);
    }
#endif
}

void CheckOutputFolder(const std::string& path)
{
    std::error_code ec;
    if (fs::path(path).filename().empty())
        throw OutputFileError("cannot write \"" + path + "\": it names a folder, not a file");
    // The temporary is made beside the file that is replaced, which for a
    // link is the file it names (ReplacedFile refuses a folder too).
    const fs::path replaced = ReplacedFile(path);
    fs::path folder = replaced.has_parent_path() ? replaced.parent_path() : fs::path(".");
    // The nearest folder that exists: the output's own, or the one where the
    // missing folders will be made.
    while (!fs::exists(folder, ec)) {
        if (!folder.has_parent_path() || folder.parent_path() == folder) {
            folder = fs::path(".");
            break;
        }
        folder = folder.parent_path();
    }
    if (!fs::is_directory(folder, ec))
        throw OutputFileError("cannot write \"" + path + "\": \"" + folder.string() + "\" is not a folder");
#if !defined(_WIN32)
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        throw OutputFileError("cannot write \"" + path + "\": the folder \"" + folder.string() +
                              "\" is not writable: " + SystemText(errno));
#endif
}

} // namespace harness
