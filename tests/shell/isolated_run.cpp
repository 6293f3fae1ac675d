#include "isolated_run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace isolated {

bool inChild()
{
    const char* flag = std::getenv("QEX_TEST_CHILD");
    return flag && std::string(flag) == "1";
}

ChildResult runCurrentTestIn(const fs::path& folder,
                             const std::vector<std::pair<std::string, std::string>>& environment,
                             const fs::path& workingFolder)
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name();
    const fs::path self = fs::read_symlink("/proc/self/exe");
    const fs::path copy = folder / self.filename();
    if (!fs::exists(copy))
        fs::copy_file(self, copy);

    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::dup2(pipeFds[1], 2);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        ::setenv("QEX_TEST_CHILD", "1", 1);
        for (const auto& [name, value] : environment)
            ::setenv(name.c_str(), value.c_str(), 1);
        ::chdir((workingFolder.empty() ? folder : workingFolder).c_str());
        ::execl(copy.c_str(), copy.c_str(), filter.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    ChildResult result;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        result.output.append(buffer, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    // A filter that matched nothing would pass without running anything.
    if (result.exitCode == 0 && result.output.find("[  PASSED  ] 1 test.") == std::string::npos)
        result.exitCode = -1;
    return result;
}

} // namespace isolated
