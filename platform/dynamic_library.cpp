#include "dynamic_library.h"

#include <dlfcn.h>
#include <utility>

namespace qex::platform {

DynamicLibrary::~DynamicLibrary()
{
    free();
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_))
{
}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept
{
    if (this != &other) {
        free();
        handle_ = std::exchange(other.handle_, nullptr);
        error_ = std::move(other.error_);
    }
    return *this;
}

bool DynamicLibrary::load(const std::string& path)
{
    free();
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* text = ::dlerror();
        error_ = text ? text : "unknown error";
        return false;
    }
    error_.clear();
    return true;
}

void DynamicLibrary::free()
{
    if (handle_) {
        ::dlclose(handle_);
        handle_ = nullptr;
    }
}

void* DynamicLibrary::symbol(const char* name) const
{
    return handle_ ? ::dlsym(handle_, name) : nullptr;
}

} // namespace qex::platform
