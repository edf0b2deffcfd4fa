#include "app/files/checksum.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gravlag {

namespace {

// xxHash64's primes: odd, with well-spread bits.
constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87u;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Fu;
constexpr std::uint64_t kPrime3 = 0x165667B19E3779F9u;

std::uint64_t LittleEndianWord(const unsigned char* p)
{
    std::uint64_t w = 0;
    for (int i = 7; i >= 0; --i)
        w = (w << 8) | p[i];
    return w;
}

} // namespace

void Checksum::word(std::uint64_t w) { state_ = std::rotl(state_ + w * kPrime2, 31) * kPrime1; }

void Checksum::add(const char* data, std::size_t size)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    bytes_ += size;
    while (size > 0 && tailSize_ > 0) {
        tail_[tailSize_++] = *p++;
        --size;
        if (tailSize_ == 8) {
            word(LittleEndianWord(tail_));
            tailSize_ = 0;
        }
    }
    for (; size >= 8; p += 8, size -= 8)
        word(LittleEndianWord(p));
    std::memcpy(tail_, p, size);
    tailSize_ += size;
}

std::uint64_t Checksum::value() const
{
    std::uint64_t h = state_ ^ (bytes_ * kPrime3);
    for (std::size_t i = 0; i < tailSize_; ++i)
        h = std::rotl(h ^ (tail_[i] * kPrime3), 11) * kPrime1;
    // Every input bit reaches every output bit.
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    h *= kPrime3;
    h ^= h >> 32;
    return h;
}

std::optional<FileDigest> DigestOfFile(const std::string& path)
{
    // Without blocking: a FIFO put where a file was is not waited on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    Checksum sum;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    std::vector<char> buffer(ok ? 64 * 1024 : 0);
    while (ok) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n == 0)
            break;
        if (n < 0) {
            ok = errno == EINTR;
            continue;
        }
        sum.add(buffer.data(), static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (!ok)
        return std::nullopt;
    return FileDigest{sum.bytes(), sum.value()};
}

} // namespace gravlag
