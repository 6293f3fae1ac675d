#include "module_reference.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace qextest {

ModuleReference::ModuleReference(const std::string& moduleFile)
{
    copy_ = std::filesystem::temp_directory_path() /
            ("qex-reference-" + std::to_string(::getpid()) + "-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".so");
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
    const std::size_t chunkBytes = static_cast<std::size_t>(chunkFrames) * channels * 2;
    for (std::size_t at = 0; at + chunkBytes <= bytes.size(); at += chunkBytes) {
        const int frames = module_->ModifySamples(module_, reinterpret_cast<short*>(bytes.data() + at), chunkFrames,
                                                  16, channels, rate);
        ASSERT_EQ(frames, chunkFrames);
    }
}

} // namespace qextest
