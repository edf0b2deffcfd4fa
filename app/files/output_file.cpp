#include "app/files/output_file.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace gravlag {

namespace {

constexpr std::size_t kBufferBytes = 64 * 1024;

// The temporaries not yet committed, for a signal handler to remove. A slot's state is its
// sequence number modulo 4 (0 free, 1 being filled, 2 holding a name); every release moves
// it to the next round, so a handler that copied a name can tell whether it changed meanwhile.
// A temporary is named by its folder's descriptor and its name in it, which still find it
// when the folder was renamed or moved meanwhile.
// All zeros at start, so that the table costs the process nothing until a slot is used
// (its folder is read only while the slot holds a name).
struct TemporarySlot {
    std::atomic<std::uint64_t> sequence{0};
    int folder = 0;
    char name[NAME_MAX + 1] = {};
};
constexpr int kSlots = 1024;
TemporarySlot temporaries[kSlots];
static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "used from signal handlers");

int Register(int folder, const std::string& name)
{
    if (name.size() > NAME_MAX)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        std::uint64_t s = temporaries[i].sequence.load(std::memory_order_relaxed);
        if (s % 4 != 0 || !temporaries[i].sequence.compare_exchange_strong(s, s + 1))
            continue;
        temporaries[i].folder = folder;
        std::memcpy(temporaries[i].name, name.c_str(), name.size() + 1);
        temporaries[i].sequence.store(s + 2, std::memory_order_release);
        return i;
    }
    return -1; // a full table: a second signal leaves this temporary behind
}

void Unregister(int slot)
{
    if (slot >= 0)
        temporaries[slot].sequence.fetch_add(2, std::memory_order_acq_rel);
}

// Six letters or digits that no other temporary of this process has had; O_EXCL settles a
// clash with another process's.
std::string UniqueSuffix()
{
    static std::atomic<std::uint64_t> counter{0};
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t x = (counter++ * 0x9E3779B97F4A7C15u) ^ static_cast<std::uint64_t>(now.tv_nsec)
        ^ (static_cast<std::uint64_t>(::getpid()) << 32);
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9u;
    x ^= x >> 27;
    std::string suffix(6, 'a');
    for (char& c : suffix) {
        c = kChars[x % 62];
        x /= 62;
    }
    return suffix;
}

std::string Reason(int error) { return std::generic_category().message(error); }

// "dir/a.csv" -> "dir", "a.csv" -> ".", "/a" -> "/".
std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What a newly created file gets: 0666 less the process's umask, read without changing it
// (umask(2) can only be read by setting it, which would race with other threads).
mode_t NewFileMode()
{
    static const mode_t mode = [] {
        mode_t mask = 022;
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("Umask:", 0) == 0)
                mask = static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
        return static_cast<mode_t>(0666 & ~mask);
    }();
    return mode;
}

} // namespace

OutputFile::~OutputFile() { discard(); }

void OutputFile::fail(int error)
{
    if (error_.empty())
        error_ = "cannot write " + path_ + ": " + Reason(error);
}

bool OutputFile::open(const std::string& path)
{
    discard();
    path_ = path;
    error_.clear();
    buffer_.clear();
    if (path.empty()) {
        error_ = "empty file name";
        return false;
    }
    mode_t mode = NewFileMode();
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            error_ = path + " is a folder";
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            // In place. Non-blocking, so that a FIFO nobody reads is refused instead of
            // waiting for a reader; writes then block as on any pipe.
            fd_ = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
            if (fd_ < 0) {
                if (errno == ENXIO)
                    error_ = "no process reads the FIFO " + path;
                else
                    fail(errno);
                return false;
            }
            ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
            target_ = path;
            return true;
        }
        char* real = ::realpath(path.c_str(), nullptr);
        target_ = real ? real : path;
        std::free(real);
        mode = st.st_mode & 07777;
    } else if (errno == ENOENT || errno == ENOTDIR) {
        const std::string folder = FolderOf(path);
        struct stat fst {};
        if (::stat(folder.c_str(), &fst) != 0) {
            error_ = errno == ENOENT ? "folder does not exist: " + folder + "/" : "cannot write " + path + ": " + Reason(errno);
            return false;
        }
        if (!S_ISDIR(fst.st_mode)) {
            error_ = "not a folder: " + folder + "/";
            return false;
        }
        target_ = path;
    } else {
        fail(errno);
        return false;
    }

    // Hidden, in the target's folder (a rename never crosses file systems), and short enough
    // for any file system's name limit. Made and removed through the folder's descriptor.
    const std::string folder = FolderOf(target_);
    folder_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder_ < 0) {
        fail(errno);
        return false;
    }
    std::string name;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = "." + NameOf(target_).substr(0, 200) + "." + UniqueSuffix();
        fd_ = ::openat(folder_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
        if (fd_ >= 0 || errno != EEXIST)
            break;
    }
    if (fd_ < 0) {
        fail(errno);
        ::close(folder_);
        folder_ = -1;
        return false;
    }
    temporary_ = folder + "/" + name;
    temporaryName_ = name;
    slot_ = Register(folder_, temporaryName_);
    if (::fchmod(fd_, mode) != 0) {
        fail(errno);
        discard();
        return false;
    }
    return true;
}

void OutputFile::closeFolder()
{
    if (folder_ >= 0)
        ::close(folder_);
    folder_ = -1;
}

void OutputFile::writeOut(const char* data, std::size_t size)
{
    while (size > 0 && error_.empty()) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            if (errno != EINTR)
                fail(errno);
            continue;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void OutputFile::write(std::string_view bytes)
{
    if (fd_ < 0 || !error_.empty())
        return;
    if (buffer_.size() + bytes.size() > kBufferBytes) {
        writeOut(buffer_.data(), buffer_.size());
        buffer_.clear();
        if (bytes.size() >= kBufferBytes) {
            writeOut(bytes.data(), bytes.size());
            return;
        }
    }
    buffer_.append(bytes);
}

void OutputFile::close()
{
    if (fd_ < 0)
        return;
    // Linux closes the descriptor even when close() is interrupted: only other errors count.
    if (::close(fd_) != 0 && errno != EINTR)
        fail(errno);
    fd_ = -1;
}

bool OutputFile::commit()
{
    if (fd_ < 0)
        return error_.empty();
    if (error_.empty()) {
        writeOut(buffer_.data(), buffer_.size());
        buffer_.clear();
    }
    if (temporary_.empty()) { // in place
        close();
        return error_.empty();
    }
    if (error_.empty() && ::fsync(fd_) != 0)
        fail(errno);
    close();
    if (error_.empty() && ::rename(temporary_.c_str(), target_.c_str()) != 0)
        fail(errno);
    if (!error_.empty()) {
        discard();
        return false;
    }
    Unregister(slot_);
    slot_ = -1;
    temporary_.clear();
    closeFolder();
    // The rename itself is made durable with the folder; the file is complete either way.
    const int folder = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

void OutputFile::discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        // Through the folder: the path is wrong once the folder was renamed.
        ::unlinkat(folder_, temporaryName_.c_str(), 0);
        temporary_.clear();
    }
    Unregister(slot_);
    slot_ = -1;
    closeFolder();
    buffer_.clear();
}

bool FileKey::sameFile(const FileKey& other) const
{
    if (exists != other.exists)
        return false;
    if (exists)
        return device == other.device && inode == other.inode && !shareable;
    return path == other.path;
}

namespace {

FileKey KeyOfStat(const struct stat& st)
{
    FileKey key;
    key.exists = true;
    key.regular = S_ISREG(st.st_mode);
    key.shareable = S_ISCHR(st.st_mode);
    key.device = st.st_dev;
    key.inode = st.st_ino;
    return key;
}

} // namespace

FileKey KeyOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return KeyOfStat(st);
    FileKey key;
    char* real = ::realpath(FolderOf(path).c_str(), nullptr);
    if (real) {
        key.path = std::string(real) + "/" + NameOf(path);
        std::free(real);
    } else {
        std::error_code ignored;
        key.path = std::filesystem::absolute(path, ignored).lexically_normal().string();
    }
    return key;
}

FileKey KeyOfDescriptor(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? KeyOfStat(st) : FileKey{};
}

void DiscardTemporariesNow()
{
    char name[NAME_MAX + 1];
    for (TemporarySlot& slot : temporaries) {
        const std::uint64_t before = slot.sequence.load(std::memory_order_acquire);
        if (before % 4 != 2)
            continue;
        const int folder = slot.folder;
        std::size_t i = 0;
        for (; i + 1 < sizeof name && slot.name[i] != '\0'; ++i)
            name[i] = slot.name[i];
        name[i] = '\0';
        std::atomic_thread_fence(std::memory_order_acquire);
        if (slot.sequence.load(std::memory_order_relaxed) == before)
            ::unlinkat(folder, name, 0);
    }
}

void EndNowBySignal(int signal)
{
    DiscardTemporariesNow();
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);
}

} // namespace gravlag
