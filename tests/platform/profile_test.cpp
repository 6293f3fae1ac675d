#include "platform/profile.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qex::platform;
namespace fs = std::filesystem;

namespace {

std::string fileText(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const fs::path& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary) << text;
}

} // namespace

TEST(Profile, FirstWriteCreatesFileAndValuesRoundTrip)
{
    TempFolder dir;
    const auto ini = dir.path() / "qex.ini";
    EXPECT_FALSE(readProfileString(ini, "General", "Auto start"));
    ASSERT_FALSE(fs::exists(ini));

    IniFile file(ini);
    file.writeBool("General", "Auto start", true);
    file.writeInteger("Devices", "Input device", -1);
    file.writeString("Devices", "Input device name", "USB Audio = Line In");
    file.writeString("General", "Default passwd", "");

    ASSERT_TRUE(file.exists());
    EXPECT_TRUE(file.readBool("General", "Auto start", false));
    EXPECT_EQ(file.readInteger("Devices", "Input device", 7), -1);
    EXPECT_EQ(file.readString("Devices", "Input device name", "x"), "USB Audio = Line In");
    EXPECT_EQ(file.readString("General", "Default passwd", "x"), "");
    EXPECT_EQ(fileText(ini),
              "[General]\nAuto start=1\nDefault passwd=\n\n[Devices]\nInput device=-1\n"
              "Input device name=USB Audio = Line In\n");
}

TEST(Profile, NamesCompareWithoutCaseAndMissingOrBadValuesReadAsDefault)
{
    TempFolder dir;
    const auto ini = dir.path() / "qex.ini";
    writeText(ini, "[devices]\r\n  INPUT NUM BUFFERS = 12 \r\nPriority=high\r\nEmpty=\r\nBig=99999999999\r\n");
    IniFile file(ini);
    EXPECT_EQ(file.readInteger("Devices", "Input num buffers", 8), 12);
    EXPECT_EQ(file.readInteger("DEVICES", "Priority", 4), 4);
    EXPECT_EQ(file.readInteger("Devices", "Empty", 4), 4);
    EXPECT_EQ(file.readInteger("Devices", "Missing", 4), 4);
    EXPECT_EQ(file.readInteger("General", "Input num buffers", 8), 8);
    EXPECT_EQ(file.readInteger("Devices", "Big", 0), 99999999999LL);
    EXPECT_FALSE(file.readBool("Devices", "Missing", false));
    EXPECT_TRUE(file.readBool("Devices", "Input num buffers", false));

    // Rewriting a key in another letter case replaces it rather than adding a second one.
    file.writeInteger("DEVICES", "input num buffers", 5);
    EXPECT_EQ(file.readInteger("Devices", "Input num buffers", 8), 5);
    EXPECT_EQ(fileText(ini), "[devices]\nINPUT NUM BUFFERS=5\nPriority=high\nEmpty=\nBig=99999999999\n");
}

TEST(Profile, WritesKeepOrderCommentsAndOtherSections)
{
    TempFolder dir;
    const auto ini = dir.path() / "qex.ini";
    writeText(ini,
              "; settings\n[General]\nAuto start=0\nVisible=0\n\n[OrvianAudioProcessor]\nProcessNumber=7\n"
              "pos_x=10\n\n[QEX]\nLeft=3\n");
    IniFile file(ini);
    file.writeInteger("General", "Visible", 0);
    file.writeBool("General", "Enable Security", true);
    file.writeInteger("QEX", "Top", 4);
    file.writeInteger("General", "Auto start", 1);

    EXPECT_EQ(fileText(ini),
              "; settings\n[General]\nAuto start=1\nVisible=0\nEnable Security=1\n\n"
              "[OrvianAudioProcessor]\nProcessNumber=7\npos_x=10\n\n[QEX]\nLeft=3\nTop=4\n");
}

TEST(Profile, FailedWriteInAFolderNobodyCanWriteReportsThePath)
{
    // /proc refuses new files even to root, so this holds wherever the tests run.
    IniFile file("/proc/qex.ini");
    try {
        file.writeInteger("General", "Visible", 0);
        FAIL() << "write succeeded";
    } catch (const EIniFileException& error) {
        EXPECT_STREQ(error.what(), "Unable to write to /proc/qex.ini");
    }

    if (::geteuid() == 0)
        GTEST_SKIP() << "a read-only folder does not stop root";
    TempFolder dir;
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    IniFile readOnly(dir.path() / "qex.ini");
    EXPECT_THROW(readOnly.writeBool("General", "Auto start", true), EIniFileException);
    fs::permissions(dir.path(), fs::perms::owner_all);
    EXPECT_FALSE(readOnly.exists());
}

TEST(Profile, InterruptedWriteLeavesTheOldFileWholeAndNoLeftovers)
{
    TempFolder dir;
    const auto ini = dir.path() / "qex.ini";
    const std::string original = "[General]\nAuto start=1\nDefault login=admin\n";
    writeText(ini, original);

    // A child process whose file-size limit cuts the write short, as a full disk would.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const bool written = writeProfileString(ini, "General", "Default passwd", std::string(4096, 'x'));
        ::_exit(written ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the cut write was reported as success";

    EXPECT_EQ(fileText(ini), original);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1) << "a temporary file was left behind";
}

TEST(Profile, AFileThatCannotBeReadIsNeverReplacedByAWrite)
{
    TempFolder dir;
    const auto ini = dir.path() / "qex.ini";
    const std::string original = "[General]\nAuto start=1\n[Devices]\nInput device=2\n";
    writeText(ini, original);
    fs::permissions(ini, fs::perms::none);
    fs::permissions(dir.path(), fs::perms::all);

    // In a child that cannot read the file (root gives up its rights for it) but may write in
    // the folder.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0)
            ::_exit(2);
        const bool written = writeProfileString(ini, "General", "Visible", "1");
        const bool read = readProfileString(ini, "General", "Auto start").has_value();
        ::_exit(written || read ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a write over an unreadable file was reported as success";

    fs::permissions(ini, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fileText(ini), original);
}

TEST(Profile, ReplacementKeepsTheFilePermissions)
{
    TempFolder dir;
    const auto ini = dir.path() / "qex.ini";
    writeText(ini, "[General]\n");
    fs::permissions(ini, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(writeProfileString(ini, "General", "Visible", "0"));
    EXPECT_EQ(fs::status(ini).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

TEST(Profile, FilesAreCreatedAndRewrittenForTheirOwnerOnly)
{
    TempFolder dir;
    const auto created = dir.path() / "new.ini";
    const mode_t mask = ::umask(022);
    ASSERT_TRUE(writeProfileString(created, "General", "Default passwd", "x"));
    ::umask(mask);
    EXPECT_EQ(fs::status(created).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    const auto shared = dir.path() / "qex.ini";
    writeText(shared, "[General]\n");
    fs::permissions(shared,
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    ASSERT_TRUE(writeProfileString(shared, "General", "Default passwd", "x"));
    EXPECT_EQ(fs::status(shared).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

TEST(Profile, SettingsThatAreNoRegularFileAreNeitherReadNorReplaced)
{
    // A named pipe would hold a reader until somebody writes into it.
    TempFolder dir;
    const auto pipe = dir.path() / "qex.ini";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_FALSE(readProfileString(pipe, "General", "Auto start"));
    EXPECT_FALSE(writeProfileString(pipe, "General", "Auto start", "1"));
    EXPECT_EQ(fs::status(pipe).type(), fs::file_type::fifo);
}

TEST(Profile, ALinkedFileKeepsItsLinkAndWritesClearTheirAbandonedTemporaries)
{
    TempFolder dir;
    fs::create_directory(dir.path() / "shared");
    const auto target = dir.path() / "shared" / "station.ini";
    writeText(target, "[General]\nAuto start=0\n");
    const auto link = dir.path() / "qex.ini";
    fs::create_symlink("shared/station.ini", link);

    // What a write killed half-way leaves, and what one under way in this moment has.
    const auto abandoned = dir.path() / "shared" / ".station.ini.Ab3dEf";
    const auto underWay = dir.path() / "shared" / ".station.ini.Xy9zQw";
    writeText(abandoned, "[General]\n");
    writeText(underWay, "[General]\n");
    fs::last_write_time(abandoned, fs::file_time_type::clock::now() - std::chrono::hours(1));

    ASSERT_TRUE(writeProfileString(link, "General", "Auto start", "1"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fileText(target), "[General]\nAuto start=1\n");
    EXPECT_FALSE(fs::exists(abandoned));
    EXPECT_TRUE(fs::exists(underWay));
}
