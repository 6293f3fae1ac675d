#pragma once
// Shared libraries loaded at run time (the plug-in host's library loading).

#include <string>

namespace qex::platform {

class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the library; false (with lastError() set) when it cannot be loaded.
    bool load(const std::string& path);
    void free();

    bool isLoaded() const { return handle_ != nullptr; }
    void* handle() const { return handle_; }

    // Address of an exported entry, or null.
    void* symbol(const char* name) const;

    const std::string& lastError() const { return error_; }

private:
    void* handle_ = nullptr;
    std::string error_;
};

} // namespace qex::platform
