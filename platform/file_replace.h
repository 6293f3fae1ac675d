#pragma once
// Replacing a file's whole contents so that a crash, a kill or a full disk at any moment leaves
// either the old file or the new one, never a shortened mixture.

#include <filesystem>
#include <string_view>

namespace qex::platform {

// Writes the bytes to a temporary file in the target's folder, flushes it to the disk and renames
// it over the target. The new file keeps the old one's permissions (a new file gets the usual
// ones). Returns false, leaving the target as it was and no temporary file behind, when any step
// fails.
bool replaceFileContents(const std::filesystem::path& file, std::string_view bytes);

} // namespace qex::platform
