#include "app/version/version.h"

namespace gravlag {

std::string VersionText(std::string_view program)
{
    std::string text = std::string(program) + " " + GRAVLAG_VERSION;
    if (const std::string revision = GitRevision(); !revision.empty())
        text += " (git " + revision + ")";
    return text;
}

} // namespace gravlag
