#include "module_reference.h"

#include <algorithm>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace qextest {

ModuleReference::ModuleReference(const std::string& moduleFile)
{
    copy_ = std::filesystem::temp_directory_path() /
        ("qex-reference-" + std::to_string(::getpid()) + "-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) +
         ".so");
    std::filesystem::copy_file(moduleFile, copy_, std::filesystem::copy_options::overwrite_existing);
    handle_ = ::dlopen(copy_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        ADD_FAILURE() << "cannot load the module copy: " << ::dlerror();
        return;
    }
    auto entry = reinterpret_cast<winampDSPGetHeaderType>(::dlsym(handle_, "winampDSPGetHeader2"));
    module_ = entry ? entry()->getModule(0) : nullptr;
    if (!module_) {
        ADD_FAILURE() << "the module copy offers no module";
        return;
    }
    module_->hwndParent = nullptr;
    module_->hDllInstance = handle_;
    EXPECT_EQ(module_->Init(module_), 0);
}

ModuleReference::~ModuleReference()
{
    if (module_)
        module_->Quit(module_);
    if (handle_)
        ::dlclose(handle_);
    std::error_code ignored;
    std::filesystem::remove(copy_, ignored);
}

void ModuleReference::Process(std::vector<char>& bytes, int channels, int rate, int chunkFrames)
{
    if (!module_)
        return;
    const std::size_t frameBytes = static_cast<std::size_t>(channels) * 2;
    const std::size_t total = bytes.size() / frameBytes;
    for (std::size_t first = 0; first < total; first += static_cast<std::size_t>(chunkFrames)) {
        const int frames = static_cast<int>(std::min<std::size_t>(chunkFrames, total - first));
        const int returned = module_->ModifySamples(
            module_, reinterpret_cast<short*>(bytes.data() + first * frameBytes), frames, 16, channels, rate);
        ASSERT_EQ(returned, frames);
    }
}

} // namespace qextest
