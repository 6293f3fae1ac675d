// An installation as `cmake --install` makes it, into a temporary DESTDIR: every file in its place
// and nothing else, a desktop entry and metainfo that agree with each other and that the
// desktop's own checkers accept (where installed), icons at their sizes, manual pages that format
// cleanly and name every option, and an installed renderer that finds the installed module.

#include "temp_folder.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kAppId = "com.lumavox.qex";
const int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

struct Outcome {
    int status = -1;
    std::string output; // standard output and standard error together
};

Outcome run(const std::string& command)
{
    Outcome outcome;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return outcome;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        outcome.output.append(buffer, n);
    const int status = ::pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

std::string quoted(const fs::path& path)
{
    return "'" + path.string() + "'";
}

bool onPath(const std::string& tool)
{
    return run("command -v " + tool).status == 0;
}

std::string readText(const fs::path& file)
{
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The "key=value" lines of a desktop entry or a unit file (the last one of a key wins).
std::map<std::string, std::string> keyValues(const fs::path& file)
{
    std::map<std::string, std::string> values;
    std::istringstream lines(readText(file));
    for (std::string line; std::getline(lines, line);)
        if (const auto equals = line.find('='); equals != std::string::npos && line[0] != '#')
            values[line.substr(0, equals)] = line.substr(equals + 1);
    return values;
}

// A manual page's OPTIONS section, with roff's escaped hyphens as plain ones.
std::string optionsSection(const std::string& page)
{
    const std::string plain = std::regex_replace(page, std::regex(R"(\\-)"), "-");
    const auto begin = plain.find("\n.SH OPTIONS\n");
    if (begin == std::string::npos)
        return {};
    return plain.substr(begin, plain.find("\n.SH ", begin + 1) - begin) + "\n";
}

class InstalledTree : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        destdir = std::make_unique<TempFolder>();
        install = run("DESTDIR=" + quoted(destdir->path()) + " " + quoted(QEX_CMAKE_COMMAND) + " --install " +
                      quoted(QEX_BINARY_DIR));
    }
    static void TearDownTestSuite() { destdir.reset(); }

    void SetUp() override { ASSERT_EQ(install.status, 0) << install.output; }

    // Where a file installed at an absolute path lies under DESTDIR.
    static fs::path Installed(const std::string& absolute)
    {
        return destdir->path() / fs::path(absolute).relative_path();
    }

    static inline std::unique_ptr<TempFolder> destdir;
    static inline Outcome install;
};

TEST_F(InstalledTree, EveryFileLiesInItsPlaceAndNothingElseIsInstalled)
{
    const std::string bin = QEX_BINDIR, data = QEX_DATADIR;
    std::set<std::string> expected{
        bin + "/qex",
        bin + "/qex-render",
        std::string(QEX_MODULEDIR) + "/qexdsp.so",
        data + "/applications/" + kAppId + ".desktop",
        data + "/metainfo/" + kAppId + ".metainfo.xml",
        data + "/icons/hicolor/scalable/apps/" + kAppId + ".svg",
        std::string(QEX_MANDIR) + "/man1/qex.1.gz",
        std::string(QEX_MANDIR) + "/man1/qex-render.1.gz",
        std::string(QEX_DOCDIR) + "/README.md",
        std::string(QEX_DOCDIR) + "/changelog.gz",
        std::string(QEX_DOCDIR) + "/docs/control-panel.png",
        std::string(QEX_PREFIX) + "/lib/systemd/user/qex.service",
        std::string(QEX_SYSCONFDIR) + "/security/limits.d/lumavox-qex.conf.example",
    };
    for (int size : kIconSizes)
        expected.insert(data + "/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) + "/apps/" +
                        kAppId + ".png");

    std::set<std::string> installed;
    for (const auto& entry : fs::recursive_directory_iterator(destdir->path()))
        if (!entry.is_directory())
            installed.insert("/" + fs::relative(entry.path(), destdir->path()).string());
    EXPECT_EQ(installed, expected);

    // Only the programs are executable; the module is loaded, not run.
    for (const std::string& file : installed) {
        const bool executable = (fs::status(Installed(file)).permissions() & fs::perms::owner_exec) != fs::perms::none;
        EXPECT_EQ(executable, file.rfind(bin + "/", 0) == 0) << file;
    }

    // The user unit runs the installed program without a window and stops it with SIGTERM.
    const auto unit = keyValues(Installed(std::string(QEX_PREFIX) + "/lib/systemd/user/qex.service"));
    EXPECT_EQ(unit.at("ExecStart"), bin + "/qex --headless");
    EXPECT_EQ(unit.at("KillSignal"), "SIGTERM");
    EXPECT_EQ(unit.at("WantedBy"), "default.target");

    // The limits example grants the audio group real-time priority, but only once copied to a
    // name pam_limits reads.
    const std::string limits =
        readText(Installed(std::string(QEX_SYSCONFDIR) + "/security/limits.d/lumavox-qex.conf.example"));
    EXPECT_TRUE(std::regex_search(limits, std::regex(R"(\n@audio\s+-\s+rtprio\s+\d+\n)"))) << limits;
    EXPECT_NE(limits.find("/etc/security/limits.d/lumavox-qex.conf"), std::string::npos);
}

TEST_F(InstalledTree, TheDesktopEntryAndTheMetainfoDescribeTheInstalledProgram)
{
    const std::string data = QEX_DATADIR;
    const auto entry = keyValues(Installed(data + "/applications/" + kAppId + ".desktop"));
    EXPECT_EQ(entry.at("Type"), "Application");
    EXPECT_EQ(entry.at("Exec"), "qex");
    EXPECT_TRUE(fs::exists(Installed(std::string(QEX_BINDIR) + "/" + entry.at("Exec"))));
    EXPECT_EQ(entry.at("Categories"), "Audio;AudioVideo;Qt;");
    EXPECT_EQ(entry.at("Icon"), kAppId);
    EXPECT_TRUE(fs::exists(Installed(data + "/icons/hicolor/48x48/apps/" + entry.at("Icon") + ".png")));

    // The metainfo names the desktop entry and the version this build makes.
    QFile metainfo(QString::fromStdString(Installed(data + "/metainfo/" + kAppId + ".metainfo.xml").string()));
    ASSERT_TRUE(metainfo.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&metainfo);
    std::map<std::string, std::string> texts;
    std::string newestRelease;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const std::string name = xml.name().toString().toStdString();
        if (name == "release" && newestRelease.empty())
            newestRelease = xml.attributes().value(QStringLiteral("version")).toString().toStdString();
        else if (name == "id" || name == "launchable")
            texts[name] = xml.readElementText().toStdString();
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(texts["id"], kAppId);
    EXPECT_EQ(texts["launchable"], kAppId + ".desktop");
    EXPECT_EQ(newestRelease, QEX_VERSION);

    // So does the change log the package carries.
    const std::string changelog =
        run("gzip -dc " + quoted(Installed(std::string(QEX_DOCDIR) + "/changelog.gz"))).output;
    EXPECT_EQ(changelog.substr(0, changelog.find('\n')),
              std::string("lumavox-qex (") + QEX_VERSION + ") stable; urgency=medium");
}

TEST_F(InstalledTree, TheDesktopsCheckersAcceptTheEntryAndTheMetainfo)
{
    const std::string data = QEX_DATADIR;
    bool checked = false;
    if (onPath("desktop-file-validate")) {
        const Outcome desktop =
            run("desktop-file-validate " + quoted(Installed(data + "/applications/" + kAppId + ".desktop")));
        EXPECT_EQ(desktop.status, 0) << desktop.output;
        EXPECT_EQ(desktop.output, "");
        checked = true;
    }
    if (onPath("appstreamcli")) {
        // The whole installed tree: the metainfo, and the desktop entry and icon it points at.
        const Outcome metainfo = run("appstreamcli validate-tree --no-net --strict " + quoted(Installed(QEX_PREFIX)));
        EXPECT_EQ(metainfo.status, 0) << metainfo.output;
        checked = true;
    }
    if (!checked)
        GTEST_SKIP() << "neither desktop-file-validate nor appstreamcli is installed";
}

TEST_F(InstalledTree, TheIconIsDrawnAtEverySizeAndAsAScalablePicture)
{
    const fs::path hicolor = Installed(std::string(QEX_DATADIR) + "/icons/hicolor");
    for (int size : kIconSizes) {
        const std::string dimensions = std::to_string(size) + "x" + std::to_string(size);
        const QImage icon(QString::fromStdString((hicolor / dimensions / "apps" / (kAppId + ".png")).string()));
        ASSERT_EQ(icon.size(), QSize(size, size)) << dimensions;
        // A tile with a transparent margin around it.
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << dimensions;
        EXPECT_EQ(qAlpha(icon.pixel(size / 2, size - size / 6)), 255) << dimensions;
    }
    // At the largest size the wordmark's white and the bars' accent both show on the dark tile.
    const QImage large(QString::fromStdString((hicolor / "256x256/apps" / (kAppId + ".png")).string()));
    int white = 0, accent = 0;
    for (int y = 0; y < large.height(); ++y)
        for (int x = 0; x < large.width(); ++x) {
            const QColor c = large.pixelColor(x, y);
            white += c.alpha() == 255 && c.lightness() > 245;
            accent += c.alpha() == 255 && c.red() > 150 && c.green() < 120 && c.blue() < 150;
        }
    EXPECT_GT(white, 2000);
    EXPECT_GT(accent, 2000);

    QFile svg(QString::fromStdString((hicolor / "scalable/apps" / (kAppId + ".svg")).string()));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&svg);
    int paths = 0, gradients = 0;
    QString viewBox;
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement) {
            if (xml.name() == QStringLiteral("svg"))
                viewBox = xml.attributes().value(QStringLiteral("viewBox")).toString();
            paths += xml.name() == QStringLiteral("path");
            gradients += xml.name() == QStringLiteral("linearGradient");
        }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(viewBox, QStringLiteral("0 0 256 256"));
    EXPECT_EQ(paths, 3); // tile, bars, wordmark
    EXPECT_EQ(gradients, 2);
}

TEST_F(InstalledTree, TheManualPagesFormatCleanlyAndNameEveryOption)
{
    const fs::path man1 = Installed(std::string(QEX_MANDIR) + "/man1");
    auto page = [&](const std::string& name) { return run("gzip -dc " + quoted(man1 / (name + ".1.gz"))).output; };
    if (onPath("groff"))
        for (const std::string name : {"qex", "qex-render"}) {
            const Outcome formatted =
                run("gzip -dc " + quoted(man1 / (name + ".1.gz")) + " | groff -man -ww -z -Tutf8");
            EXPECT_EQ(formatted.output, "") << name;
        }

    // Every option the installed renderer's own help names has its entry under OPTIONS.
    const Outcome help = run(quoted(Installed(std::string(QEX_BINDIR) + "/qex-render")) + " --help");
    ASSERT_EQ(help.status, 0) << help.output;
    std::set<std::string> options;
    const std::regex option("--[a-z]+");
    for (auto it = std::sregex_iterator(help.output.begin(), help.output.end(), option); it != std::sregex_iterator();
         ++it)
        options.insert(it->str());
    EXPECT_EQ(options, (std::set<std::string>{"--format", "--json", "--module", "--selftest"})) << help.output;
    options.insert("--help");
    const std::string renderOptions = optionsSection(page("qex-render"));
    for (const std::string& name : options)
        EXPECT_TRUE(std::regex_search(renderOptions, std::regex("\\n\\.B[IR]? " + name + "\\b"))) << name;

    const std::string qexPage = page("qex");
    const std::string qexOptions = optionsSection(qexPage);
    for (const std::string name : {"--headless", "--list-devices", "--help", "--version"})
        EXPECT_TRUE(std::regex_search(qexOptions, std::regex("\\n\\.B[IR]? " + name + "\\b"))) << name;
    EXPECT_NE(std::regex_replace(qexPage, std::regex(R"(\\-)"), "-")
                  .find(std::string(QEX_SYSCONFDIR) + "/security/limits.d/lumavox-qex.conf.example"),
              std::string::npos);
}

TEST_F(InstalledTree, TheInstalledRendererProcessesWithTheInstalledModule)
{
    // Nothing beside the renderer, and nothing in the program's own module folder: only the
    // module installed under the library directory can be found.
    const TempFolder work;
    const fs::path empty = work.path() / "system";
    fs::create_directory(empty);
    const fs::path input = work.path() / "in.wav";
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(input.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<short> frames(2 * 44100);
    for (std::size_t i = 0; i < frames.size(); ++i)
        frames[i] =
            static_cast<short>(8000 * std::sin(2 * std::numbers::pi * 440.0 * static_cast<double>(i / 2) / 44100));
    ASSERT_EQ(sf_writef_short(file, frames.data(), 44100), 44100);
    sf_close(file);

    const std::string environment = "HOME=" + quoted(work.path()) +
        " XDG_CONFIG_HOME=" + quoted(work.path() / "config") + " XDG_DATA_HOME=" + quoted(work.path() / "data") +
        " QEX_SYSTEM_DIR=" + quoted(empty);
    const Outcome render = run(environment + " " + quoted(Installed(std::string(QEX_BINDIR) + "/qex-render")) + " " +
                               quoted(input) + " " + quoted(work.path() / "out.wav"));
    EXPECT_EQ(render.status, 0) << render.output;
    EXPECT_NE(render.output.find("1.0 s of audio processed by"), std::string::npos) << render.output;
    EXPECT_TRUE(fs::exists(work.path() / "out.wav"));
    EXPECT_TRUE(fs::is_empty(empty));
}

} // namespace
