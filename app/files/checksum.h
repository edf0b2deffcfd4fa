#pragma once
// A 64-bit checksum of a file's bytes, to tell whether a file is still the one a report was
// written for (another run's file under the same name, a torn copy). Not a defence against
// someone who means to forge a file. The value is part of the files a sweep leaves behind
// (a point's report records its files' checksums), so it must never change.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace gravlag {

// Bytes added in pieces of any size give the value of the same bytes added at once.
class Checksum {
public:
    void add(const char* data, std::size_t size);
    std::uint64_t value() const; // of everything added so far
    std::uint64_t bytes() const { return bytes_; }

private:
    void word(std::uint64_t w);

    std::uint64_t state_ = 0x27D4EB2F165667C5u;
    std::uint64_t bytes_ = 0;
    unsigned char tail_[8] = {}; // the bytes after the last whole word
    std::size_t tailSize_ = 0;
};

struct FileDigest {
    std::uint64_t bytes = 0;
    std::uint64_t checksum = 0;
    bool operator==(const FileDigest&) const = default;
};

// The digest of the regular file at `path`; none when it is missing, not a regular file or
// cannot be read.
std::optional<FileDigest> DigestOfFile(const std::string& path);

} // namespace gravlag
