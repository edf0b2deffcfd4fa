#pragma once
// Every file the programs write is complete and right, or not there. An OutputFile writes
// into a hidden temporary beside its target (".NAME.XXXXXX" in the same folder) and renames
// it over the target only when every write, the flush, the fsync and the close succeeded; a
// file that is not committed is removed and the target stays as it was. A target that exists
// and is not a regular file (a device such as /dev/null or /dev/full, a terminal, a FIFO) is
// written in place with the same checks: renaming over it would replace the device node.

#include <string>
#include <string_view>

#include <sys/types.h>

namespace gravlag {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile(); // an uncommitted file is discarded
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary (or opens the device or FIFO). False with error() when it
    // cannot: an empty name, a folder that does not exist, a target that is a folder, a
    // FIFO no process reads, or the system's reason.
    bool open(const std::string& path);
    // Buffered; the first failure is kept in error() and later writes are dropped.
    void write(std::string_view bytes);
    // Writes what is buffered, then fsync, close and rename; false with error() if any step
    // failed, and then the target is untouched. Committing a file never opened does nothing.
    bool commit();
    void discard(); // the temporary removed, the target untouched

    bool isOpen() const { return fd_ >= 0; }
    bool failed() const { return !error_.empty(); }
    // The first failure, once: "cannot write PATH: No space left on device".
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }

private:
    void fail(int error);
    void writeOut(const char* data, std::size_t size);
    void close();
    void closeFolder();

    std::string path_;      // as given
    std::string target_;    // what the rename replaces: the file a symbolic link names
    std::string temporary_; // empty when written in place
    std::string temporaryName_; // its name in its folder
    int folder_ = -1;       // the temporary's folder (O_PATH), which removes it wherever it went
    int fd_ = -1;
    int slot_ = -1; // in the table of temporaries a signal handler may remove
    std::string buffer_;
    std::string error_;
};

// Which file a path names, to find two outputs (or an output and an input) that are one
// file: device and inode where the file exists, the absolute path through the real folder
// where it does not. Character devices (/dev/null, /dev/full) may take several outputs.
struct FileKey {
    bool exists = false;
    bool regular = false;
    bool shareable = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string path; // where it does not exist
    bool sameFile(const FileKey& other) const;
};
FileKey KeyOf(const std::string& path);
FileKey KeyOfDescriptor(int fd); // an open file (standard output); exists false if it fails

// Async-signal-safe: removes every temporary not yet committed or discarded, so that a
// process ended at once by a signal leaves the targets and their folders as they were.
void DiscardTemporariesNow();
// Async-signal-safe: the temporaries removed, then the process ended by `signal` itself (its
// default action), so that a waiting shell sees 128 + signal and stops a loop or a script.
[[noreturn]] void EndNowBySignal(int signal);

} // namespace gravlag
