#pragma once
// A folder of one test's own: made with a name no other test or run can have, under the
// system's temporary folder ($TMPDIR, else /tmp), and removed with everything in it when the
// test leaves it, so that runs side by side cannot meet and nothing is left behind.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <gtest/gtest.h>

namespace gravlag::testing {

class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& tag)
    {
        std::string pattern = (std::filesystem::path(::testing::TempDir()) / ("gravlag_" + tag + ".XXXXXX")).string();
        if (::mkdtemp(pattern.data()))
            path_ = pattern;
        else
            ADD_FAILURE() << "cannot make a folder like " << pattern;
    }
    ~ScratchFolder()
    {
        if (path_.empty())
            return;
        // A test may have taken the write permission from a folder inside.
        std::error_code ignored;
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
            if (it->is_directory(ignored) && !it->is_symlink(ignored))
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path of `name` inside, as the options take a path.
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

} // namespace gravlag::testing
