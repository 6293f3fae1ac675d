#pragma once
// Replacing a file's whole contents so that a crash, a kill or a full disk at any moment leaves
// either the old file or the new one, never a shortened mixture.

#include <filesystem>
#include <string_view>

namespace qex::platform {

enum class FileAccess {
    Usual,     // the old file's permissions, or the usual ones for a new file
    OwnerOnly, // the old file's permissions for its owner, nothing for anyone else
};

// Writes the bytes to a temporary file in the target's folder, flushes it to the disk and renames
// it over the target. Returns false, leaving the target as it was and no temporary file behind,
// when any step fails.
bool replaceFileContents(const std::filesystem::path& file, std::string_view bytes,
                         FileAccess access = FileAccess::Usual);

} // namespace qex::platform
