#include "app/files/small_file.h"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gravlag {

namespace {

const char* KindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

std::string SizeText(std::size_t bytes)
{
    constexpr std::size_t kMiB = 1024 * 1024;
    return bytes % kMiB == 0 ? std::to_string(bytes / kMiB) + " MiB" : std::to_string(bytes) + " bytes";
}

} // namespace

bool ReadSmallFile(const std::string& path, std::size_t limit, const char* what, std::string& text,
                   std::string& problem)
{
    const auto cannot = [&](int error) {
        problem = "cannot read " + path + ": " + std::generic_category().message(error);
        return false;
    };
    const auto refuse = [&](mode_t mode) {
        problem = path + " is " + KindOf(mode) + ", not " + what;
        return false;
    };
    // A device or a FIFO is refused before it is opened: opening some devices acts on them,
    // and reading a FIFO or /dev/zero would wait or never end.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return cannot(errno);
    if (!S_ISREG(st.st_mode))
        return refuse(st.st_mode);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return cannot(errno);
    int error = 0;
    bool regular = true;
    text.clear();
    if (::fstat(fd, &st) != 0) {
        error = errno;
    } else if (!S_ISREG(st.st_mode)) { // replaced since it was looked at
        regular = false;
    } else {
        // One byte more than allowed shows a file too large, whatever its size said before.
        text.resize(limit + 1);
        std::size_t got = 0;
        while (got < text.size()) {
            const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                error = errno;
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        text.resize(got);
    }
    ::close(fd);
    if (!regular)
        return refuse(st.st_mode);
    if (error != 0)
        return cannot(error);
    if (text.size() > limit) {
        problem = path + " is larger than " + SizeText(limit) + ", too large for " + what;
        return false;
    }
    return true;
}

} // namespace gravlag
