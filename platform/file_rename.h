#pragma once
// Renaming a file without ever replacing another one: the rename fails when the target exists,
// as the program's database file names rely on.

#include <filesystem>

namespace qex::platform {

bool renameFileNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

} // namespace qex::platform
