// The default profiles we ship (defaults.dprepo): a few a user would choose
// from, each with a description. Portable: the build writes the file with a
// build of this code for the machine that builds, and the tests read it back
// with the shipped reader.
#pragma once

#include <vector>

#include "profile/djv_profiles.h"

namespace profile_defaults {

// The profiles, in the repository's order, each free (not installed).
std::vector<Solvaris::AutoPtr<Solvaris::DjVu::Profile>> defaultProfiles();

// Writes the repository of the default profiles to `path` (UTF-8), replacing
// what is there. Throws the library's exceptions.
void writeDefaultRepository(const Solvaris::String& path);

}  // namespace profile_defaults
