// The installed programs: `cmake --install` into a temporary DESTDIR, then
// the copies run with a PATH that holds only the installed bin/ and find
// their simulator and data files there, the desktop entry and the metainfo
// validate, and the manual pages and the completion cover every option.
#include "RefusedPath.h"
#include "foundation/BuildInfo.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <set>

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out, err;
};

class InstalledTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dest_ = new QTemporaryDir();
        QProcess install;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DESTDIR", dest_->path());
        install.setProcessEnvironment(env);
        install.start(GRITTOR_CMAKE_COMMAND, {"--install", BinaryDir()});
        installed_ = install.waitForFinished(60000) && install.exitCode() == 0;
        if (!installed_)
            installError_ = install.readAllStandardError().toStdString() + install.errorString().toStdString();
    }
    static void TearDownTestSuite()
    {
        delete dest_;
        dest_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(installed_) << installError_; }

    static QString BinaryDir() { return qEnvironmentVariable("GRITTOR_BINARY_DIR"); }
    // The installed prefix inside DESTDIR.
    static QString Root() { return dest_->path() + GRITTOR_INSTALL_PREFIX; }
    static QString Bin(const QString &program) { return Root() + "/bin/" + program; }
    static QString Share(const QString &path) { return Root() + "/share/" + path; }

    // A user's session that knows nothing of the build tree.
    QProcessEnvironment UserEnvironment() const
    {
        QProcessEnvironment env;
        env.insert("PATH", Root() + "/bin");
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.path() + "/config");
        env.insert("XDG_DATA_HOME", home.path() + "/data");
        env.insert("XDG_STATE_HOME", home.path() + "/state");
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("GRITTOR_LOG_DIR", home.path() + "/log");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        for (const char *name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
            if (qEnvironmentVariableIsSet(name))
                env.insert(name, qEnvironmentVariable(name));
        return env;
    }

    // Runs a program as the user would: a bare name is looked up in the
    // installed bin/ only.
    Outcome Start(const QString &program, const QStringList &args, const QProcessEnvironment &env,
                  int timeoutMs = 30000, const std::function<void(QProcess &)> &whileRunning = nullptr)
    {
        QDir().mkpath(home.path() + "/log");
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(home.path());
        p.start(program.contains('/') ? program : Bin(program), args);
        Outcome r;
        if (!p.waitForStarted(5000)) {
            r.err = "did not start: " + p.errorString().toStdString();
            return r;
        }
        if (whileRunning)
            whileRunning(p);
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished();
            r.err = "did not finish";
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput().toStdString();
        r.err = p.readAllStandardError().toStdString();
        return r;
    }
    Outcome Start(const QString &program, const QStringList &args) { return Start(program, args, UserEnvironment()); }

    std::string LogText(const QString &program = "grittor") const
    {
        QFile f(home.path() + "/log/" + program + ".log");
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    }

    static std::string Gunzip(const QString &path)
    {
        QProcess p;
        p.start("gzip", {"-dc", path});
        p.waitForFinished(10000);
        return p.readAllStandardOutput().toStdString();
    }

    // The simulator the program started, by the path of its executable.
    static QString ChildExecutable(qint64 pid)
    {
        QDir task(QString("/proc/%1/task").arg(pid));
        for (const QString &t : task.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile f(QString("/proc/%1/task/%2/children").arg(pid).arg(t));
            if (!f.open(QIODevice::ReadOnly))
                continue;
            const QString children = QString::fromLatin1(f.readAll()).trimmed();
            if (!children.isEmpty())
                return QFile::symLinkTarget(QString("/proc/%1/exe").arg(children.split(' ').first()));
        }
        return {};
    }
    // Until the child has run its own program: between fork and exec it is
    // still a copy of the parent.
    std::function<void(QProcess &)> WatchChild(QString &exe)
    {
        return [&exe](QProcess &p) {
            const QString parent = QFile::symLinkTarget(QString("/proc/%1/exe").arg(p.processId()));
            QElapsedTimer t;
            t.start();
            while ((exe.isEmpty() || exe == parent) && t.elapsed() < 5000 && p.state() == QProcess::Running) {
                QThread::msleep(20);
                exe = ChildExecutable(p.processId());
            }
        };
    }

    static int PngWidth(const QByteArray &png) { return PngNumber(png, 16); }
    static int PngHeight(const QByteArray &png) { return PngNumber(png, 20); }
    static int PngNumber(const QByteArray &png, int at)
    {
        if (png.size() < 24 || !png.startsWith("\x89PNG"))
            return -1;
        const auto *b = reinterpret_cast<const unsigned char *>(png.constData()) + at;
        return (b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
    }

    QTemporaryDir home, runtime;
    static QTemporaryDir *dest_;
    static bool installed_;
    static std::string installError_;
};

QTemporaryDir *InstalledTest::dest_ = nullptr;
bool InstalledTest::installed_ = false;
std::string InstalledTest::installError_;

// Every option a --help output names ("--size", "-o").
std::set<std::string> OptionsIn(const std::string &text)
{
    std::set<std::string> out;
    static const QRegularExpression option(R"((?<![\w-])(--?[a-z][a-z-]*))");
    auto it = option.globalMatch(QString::fromStdString(text));
    while (it.hasNext())
        out.insert(it.next().captured(1).toStdString());
    return out;
}

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

TEST_F(InstalledTest, EveryPieceIsInItsPlaceAndNothingElseInBin)
{
    EXPECT_EQ(QDir(Root() + "/bin").entryList(QDir::Files).join(" ").toStdString(), "grittor grittor-cli grittor-sim");
    for (const char *f :
         {"grittor/caltarget.jpg", "grittor/samples/stencil-stone.plt", "grittor/samples/shapes-four-pens.plt",
          "grittor/samples/6x6 square.plt", "applications/com.korvane.grittor.desktop",
          "metainfo/com.korvane.grittor.metainfo.xml", "icons/hicolor/scalable/apps/com.korvane.grittor.svg",
          "bash-completion/completions/grittor-cli", "doc/grittor/copyright"})
        EXPECT_TRUE(QFile::exists(Share(f))) << f;
    EXPECT_FALSE(QFile::exists(Share("grittor/README.md"))) << "the note about data/ is for the checkout";
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QFile png(Share(QString("icons/hicolor/%1x%1/apps/com.korvane.grittor.png").arg(size)));
        ASSERT_TRUE(png.open(QIODevice::ReadOnly)) << size;
        const QByteArray bytes = png.readAll();
        EXPECT_EQ(PngWidth(bytes), size);
        EXPECT_EQ(PngHeight(bytes), size);
    }
}

TEST_F(InstalledTest, AllThreeAnswerVersionAndHelpWithoutADisplay)
{
    QProcessEnvironment env = UserEnvironment();
    env.remove("QT_QPA_PLATFORM"); // no display either: the answers need none
    for (const QString program : {"grittor", "grittor-cli", "grittor-sim"}) {
        Outcome r = Start(program, {"--version"}, env);
        EXPECT_EQ(r.exitCode, 0) << program.toStdString() << r.err;
        EXPECT_EQ(r.out, program.toStdString() + " " + grittor::GrittorProjectVersion + "\n");
        r = Start(program, {"--help"}, env);
        EXPECT_EQ(r.exitCode, 0) << program.toStdString() << r.err;
        EXPECT_TRUE(Contains(r.out, "usage: " + program.toStdString())) << r.out;
        EXPECT_TRUE(Contains(r.out, "--version")) << r.out;
    }
}

TEST_F(InstalledTest, TheCliRunsAPlotFromInfoToJob)
{
    const QString sample = Share("grittor/samples/stencil-stone.plt");
    Outcome r = Start("grittor-cli", {"info", sample, "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "\"pens\":[1")) << r.out;

    const QString png = home.path() + "/stone.png";
    r = Start("grittor-cli", {"render", sample, "-o", png, "--size", "320x200"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    QFile image(png);
    ASSERT_TRUE(image.open(QIODevice::ReadOnly));
    const QByteArray bytes = image.readAll();
    EXPECT_EQ(PngWidth(bytes), 320);
    EXPECT_EQ(PngHeight(bytes), 200);

    const QStringList job = {"job", sample, "--reference", "1000,2000", "--skew", "1000,9000"};
    r = Start("grittor-cli", job);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "position ")) << r.err;
    EXPECT_GT(r.out.size(), 1000u);
    EXPECT_TRUE(QFile::exists(home.path() + "/data/Korvane/Grittor/blowpattern.xls"));
    // The installed copy builds the very job the build tree's does.
    const Outcome built = Start(BinaryDir() + "/grittor-cli", job);
    EXPECT_EQ(built.exitCode, 0);
    EXPECT_TRUE(r.out == built.out) << "installed and built jobs differ";
}

TEST_F(InstalledTest, SimulateStartsTheInstalledSimulator)
{
    QString sim;
    const Outcome r =
        Start("grittor", {"--simulate", "--quit-after", "2000"}, UserEnvironment(), 30000, WatchChild(sim));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(sim.toStdString(), Bin("grittor-sim").toStdString());
    EXPECT_TRUE(Contains(LogText(), "Connected to the simulated machine at /dev/pts/")) << LogText();
}

TEST_F(InstalledTest, TheDesktopEntryStartsTheProgramAndItsDemo)
{
    QSettings entry(Share("applications/com.korvane.grittor.desktop"), QSettings::IniFormat);
    const QString exec = entry.value("Desktop Entry/Exec").toString();
    const QString demo = entry.value("Desktop Action demo/Exec").toString();
    ASSERT_FALSE(exec.isEmpty());
    ASSERT_FALSE(demo.isEmpty());
    EXPECT_TRUE(
        QFile::exists(Share("icons/hicolor/256x256/apps/" + entry.value("Desktop Entry/Icon").toString() + ".png")));

    // The launcher's command line, field codes dropped, and a smoke test's end.
    auto command = [](const QString &line) {
        QStringList words = line.split(' ', Qt::SkipEmptyParts).filter(QRegularExpression("^(?!%)"));
        words << "--quit-after"
              << "1500";
        return words;
    };
    QStringList words = command(exec);
    Outcome r = Start(words.takeFirst(), words);
    EXPECT_EQ(r.exitCode, 0) << r.err;

    words = command(demo);
    QString sim;
    r = Start(words.takeFirst(), words, UserEnvironment(), 30000, WatchChild(sim));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(sim.toStdString(), Bin("grittor-sim").toStdString());
    const std::string plot = Share("grittor/samples/stencil-stone.plt").toStdString();
    EXPECT_TRUE(Contains(LogText(), "DisplayHpglFileMenuClick  file " + plot)) << LogText();
}

TEST_F(InstalledTest, TheDesktopEntryAndTheMetainfoValidate)
{
    const QString validate = QStandardPaths::findExecutable("desktop-file-validate");
    const QString appstream = QStandardPaths::findExecutable("appstreamcli");
    if (validate.isEmpty() || appstream.isEmpty())
        GTEST_SKIP() << "desktop-file-validate or appstreamcli is not installed (scripts/setup installs both)";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    Outcome r = Start(validate, {Share("applications/com.korvane.grittor.desktop")}, env);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out + r.err, "") << "warnings too";
    const QString metainfo = Share("metainfo/com.korvane.grittor.metainfo.xml");
    r = Start(appstream, {"validate", "--no-net", "--pedantic", metainfo}, env);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    QFile xml(metainfo);
    ASSERT_TRUE(xml.open(QIODevice::ReadOnly));
    EXPECT_TRUE(xml.readAll().contains(QByteArray("<release version=\"") + grittor::GrittorProjectVersion + "\""));
}

TEST_F(InstalledTest, TheManualPagesNameEveryOptionTheProgramsKnow)
{
    for (const QString program : {"grittor", "grittor-cli", "grittor-sim"}) {
        const Outcome help = Start(program, {"--help"});
        std::string page = Gunzip(Share("man/man1/" + program + ".1.gz"));
        ASSERT_TRUE(Contains(page, ".TH ")) << program.toStdString();
        EXPECT_TRUE(Contains(page, std::string("\"Grittor ") + grittor::GrittorProjectVersion + "\""));
        page = QString::fromStdString(page).replace("\\-", "-").toStdString();
        const std::set<std::string> options = OptionsIn(help.out);
        EXPECT_TRUE(options.count("--version")) << help.out;
        for (const std::string &option : options)
            EXPECT_TRUE(Contains(page, option)) << program.toStdString() << " page lacks " << option;
        EXPECT_TRUE(Contains(page, ".SH EXIT STATUS")) << program.toStdString();
        EXPECT_TRUE(Contains(page, ".SH FILES")) << program.toStdString();
    }
}

TEST_F(InstalledTest, TheCompletionOffersEveryOptionOfEachCommand)
{
    const QString library = "/usr/share/bash-completion/bash_completion";
    const QString bash = QStandardPaths::findExecutable("bash");
    if (!QFile::exists(library) || bash.isEmpty())
        GTEST_SKIP() << "bash-completion is not installed (scripts/setup installs it)";
    const Outcome help = Start("grittor-cli", {"--help"});
    ASSERT_EQ(help.exitCode, 0);
    const QString script = "source " + library + "; source " + Share("bash-completion/completions/grittor-cli") +
                           R"(; COMP_WORDS=(grittor-cli "$1" "$2"); COMP_CWORD=2; COMP_LINE="${COMP_WORDS[*]}";)"
                           R"( COMP_POINT=${#COMP_LINE}; _grittor_cli; printf '%s\n' "${COMPREPLY[@]}")";
    int commands = 0;
    for (const QString &line : QString::fromStdString(help.out).split('\n')) {
        const QStringList words = line.trimmed().split(' ');
        if (words.size() < 2 || words[0] != "grittor-cli" || words[1].startsWith('-'))
            continue;
        ++commands;
        const Outcome r = Start(bash, {"-c", script, "bash", words[1], "-"}, QProcessEnvironment::systemEnvironment());
        const QStringList offered = QString::fromStdString(r.out).split('\n', Qt::SkipEmptyParts);
        for (const std::string &option : OptionsIn(line.toStdString()))
            EXPECT_TRUE(offered.contains(QString::fromStdString(option)))
                << words[1].toStdString() << " does not offer " << option << ": " << r.out << r.err;
    }
    EXPECT_EQ(commands, 8);
}

TEST_F(InstalledTest, TheCliShowsHowToJoinTheSerialGroupBelowItsMessage)
{
    const std::string refused = grittor::test::RefusedPath(home.path().toStdString());
    if (refused.empty())
        GTEST_SKIP() << "no path refuses this user here";
    const Outcome r = Start("grittor-cli", {"query", "--port", QString::fromStdString(refused), "\\e.vstate:"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("grittor-cli: Unable to open " + refused, 0), 0u) << r.err;
    EXPECT_TRUE(Contains(r.err, "\nYou may not use " + refused) || Contains(r.err, "\n" + refused + " refuses"))
        << r.err;
}
