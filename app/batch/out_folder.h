#pragma once
// --out DIR, a sweep's folder. The command line only checks the name; the sweep makes the
// folder when it starts, so that a refused command leaves nothing behind. Each point runs
// under a lock of its own, so that two processes on one folder (a job array's tasks with
// overlapping --points, a sweep started twice) never leave one point's files beside the
// other's report: a point another process holds is refused.

#include <cstdint>
#include <string>

namespace gravlag {

// Why DIR cannot be a sweep's folder, as the command line refuses it ("--out: ..."); empty
// when it can: a folder, or a name whose parent folder exists.
std::string OutFolderProblem(const std::string& dir);

class OutFolder {
public:
    // Makes the folder when it is missing; false with a "--out: ..." problem.
    bool make(const std::string& dir, std::string& problem);
    // The folder removed if make() made it and it is still empty: for a sweep refused
    // before its first point.
    void removeIfMade();

private:
    std::string dir_;
    bool made_ = false;
};

// "DIR/sweep.lock": one byte a point, locked (an open file description lock) while the
// point is looked at, run and reported. The lock goes with the process, whatever ends it.
class PointLock {
public:
    PointLock() = default;
    ~PointLock();
    PointLock(const PointLock&) = delete;
    PointLock& operator=(const PointLock&) = delete;

    // False with a "--out: ..." problem when another process holds point `number`. A file
    // system without such locks runs the point unlocked: the checksums in its report still
    // show a mixed point to --resume.
    bool lock(const std::string& dir, std::uint64_t number, std::string& problem);

private:
    int fd_ = -1;
};

} // namespace gravlag
