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
// it over the target. A target that is a symbolic link has the file it names replaced; the link
// stays. Temporary files of this kind that an earlier write left behind (the program was killed
// in the middle) are cleared first. Returns false, leaving the target as it was and no temporary
// file behind, when any step fails.
bool replaceFileContents(const std::filesystem::path& file, std::string_view bytes,
                         FileAccess access = FileAccess::Usual);

// The file a chain of symbolic links ends at (which need not exist yet); the file itself when it
// is no link.
std::filesystem::path followLinks(std::filesystem::path file);

} // namespace qex::platform
