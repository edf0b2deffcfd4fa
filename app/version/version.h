#pragma once
// What --version prints, for both programs.

#include <string>
#include <string_view>

namespace gravlag {

// The short commit the programs were built from (", modified" when the checkout had changes);
// empty when they were not built from a git checkout.
const char* GitRevision();

// "gravlag-batch 1.0.0 (git 0123456789ab)": the program, the project's version, the revision.
std::string VersionText(std::string_view program);

} // namespace gravlag
