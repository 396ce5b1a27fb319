// The profile tests' former helpers under their old names, for tests outside
// this folder that still include this header; new code takes
// support/test_kit.h.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/test_kit.h"

namespace profile_test {
using namespace testkit;
} // namespace profile_test
