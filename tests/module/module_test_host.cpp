// A minimal plug-in host for the module's tests: loads the module file named on the command
// line through its published entry and drives it the way the program's plug-in host does.
// Tests copy this program into a temporary folder and run it there, because the module keeps
// its settings and presets beside the host executable.
//
//   module_test_host MODULE records
//       prints what the header and getModule hand out
//   module_test_host MODULE process IN OUT BITS CHANNELS RATE FRAMES...
//       Init, then IN (raw interleaved 16-bit samples) through ModifySamples in buffers of the
//       given frame counts, used in turn; writes OUT, prints the results and the number of
//       memory allocations made inside ModifySamples, then Quit.

#include "winamp_dsp.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <iterator>
#include <new>
#include <vector>

namespace {

bool counting = false;
long allocations = 0;

void* Allocate(std::size_t size)
{
    if (counting)
        ++allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

} // namespace

// Every allocation of the process passes through these, the module's included.
void* operator new(std::size_t size)
{
    return Allocate(size);
}
void* operator new[](std::size_t size)
{
    return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (counting)
        ++allocations;
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

// The C allocator too, except under AddressSanitizer or ThreadSanitizer, which own it (their
// builds count the module's operator new only).
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);

void* malloc(std::size_t size)
{
    if (counting)
        ++allocations;
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size)
{
    if (counting)
        ++allocations;
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size)
{
    if (counting)
        ++allocations;
    return __libc_realloc(p, size);
}
}
#endif

namespace {

int Records(winampDSPHeader* header)
{
    winampDSPModule* first = header->getModule(0);
    std::printf("version=%d\n", header->version);
    std::printf("description=%s\n", header->description);
    std::printf("module_description=%s\n", first ? first->description : "");
    std::printf("module0_again_same=%d\n", header->getModule(0) == first ? 1 : 0);
    std::printf("module1_null=%d\n", header->getModule(1) == nullptr ? 1 : 0);
    std::printf("user_data_null=%d\n", first && first->userData == nullptr ? 1 : 0);
    return 0;
}

int Process(winampDSPHeader* header, int argc, char** argv)
{
    if (argc < 9)
        return 2;
    const int bits = std::atoi(argv[5]);
    const int channels = std::atoi(argv[6]);
    const int rate = std::atoi(argv[7]);
    std::vector<int> sizes;
    for (int i = 8; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));

    std::ifstream in(argv[3], std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<short> samples(bytes.size() / sizeof(short));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(short));

    winampDSPModule* module = header->getModule(0);
    std::printf("init=%d\n", module->Init(module));

    const int stride = channels > 0 ? channels : 1;
    const long totalFrames = static_cast<long>(samples.size()) / stride;
    long frame = 0;
    bool lengthsKept = true;
    for (size_t turn = 0; frame < totalFrames; ++turn) {
        const int frames = static_cast<int>(std::min<long>(sizes[turn % sizes.size()], totalFrames - frame));
        counting = true;
        const int returned =
            module->ModifySamples(module, samples.data() + frame * stride, frames, bits, channels, rate);
        counting = false;
        lengthsKept = lengthsKept && returned == frames;
        frame += frames;
    }
    std::printf("lengths_kept=%d\n", lengthsKept ? 1 : 0);
    std::printf("allocations=%ld\n", allocations);

    std::ofstream out(argv[4], std::ios::binary);
    out.write(reinterpret_cast<const char*>(samples.data()),
              static_cast<std::streamsize>(samples.size() * sizeof(short)));
    module->Quit(module);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 3;
    }
    auto getHeader = reinterpret_cast<winampDSPGetHeaderType>(dlsym(library, "winampDSPGetHeader2"));
    if (!getHeader)
        return 4;
    winampDSPHeader* header = getHeader();
    const int result = std::strcmp(argv[2], "records") == 0 ? Records(header) : Process(header, argc, argv);
    std::fflush(stdout);
    dlclose(library);
    return result;
}
