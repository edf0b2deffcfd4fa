#include "app/batch/out_folder.h"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gravlag {

namespace {

std::string ParentOf(const std::string& dir) { return dir.substr(0, dir.find_last_of('/') + 1); }

} // namespace

std::string OutFolderProblem(const std::string& dir)
{
    if (dir.empty())
        return "--out: empty folder name";
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? std::string() : "--out: not a folder: " + dir;
    if (errno != ENOENT)
        return "--out: cannot use " + dir + ": " + std::generic_category().message(errno);
    const std::string parent = ParentOf(dir);
    if (::stat(parent.empty() ? "." : parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return "--out: folder does not exist: " + parent;
    return {};
}

bool OutFolder::make(const std::string& dir, std::string& problem)
{
    dir_ = dir;
    made_ = false;
    if (::mkdir(dir.c_str(), 0777) == 0) {
        made_ = true;
        return true;
    }
    if (errno == EEXIST) {
        problem = OutFolderProblem(dir); // made meanwhile, maybe as something else
        return problem.empty();
    }
    if (errno == ENOENT)
        problem = "--out: folder does not exist: " + ParentOf(dir);
    else
        problem = "--out: cannot create " + dir + ": " + std::generic_category().message(errno);
    return false;
}

void OutFolder::removeIfMade()
{
    if (made_)
        ::rmdir(dir_.c_str()); // fails, as it should, when something was put in it
    made_ = false;
}

PointLock::~PointLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool PointLock::lock(const std::string& dir, std::uint64_t number, std::string& problem)
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = ::open((dir + "/sweep.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd_ < 0)
        return true; // a folder that cannot take it cannot take the point's files either: they say so
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = static_cast<off_t>(number - 1); // numbers run from 1 to 2^63
    range.l_len = 1;
    if (::fcntl(fd_, F_OFD_SETLK, &range) == 0)
        return true;
    if (errno == EAGAIN || errno == EACCES) {
        problem = "--out: another process is running point " + std::to_string(number) + " in " + dir;
        return false;
    }
    return true;
}

} // namespace gravlag
