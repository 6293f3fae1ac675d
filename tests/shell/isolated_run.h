#pragma once
// Runs a test case again in a copy of its test binary placed in a folder of the test's choice,
// so that the program's own folder (the folder of the executable) is that folder. The test
// body checks inChild() to tell its two halves apart; the child's assertions decide its exit
// code.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace isolated {

bool inChild();

struct ChildResult {
    int exitCode = -1;
    std::string output;
};

// The child starts in workingFolder, or in folder when none is given.
ChildResult runCurrentTestIn(const std::filesystem::path& folder,
                             const std::vector<std::pair<std::string, std::string>>& environment = {},
                             const std::filesystem::path& workingFolder = {});

} // namespace isolated
