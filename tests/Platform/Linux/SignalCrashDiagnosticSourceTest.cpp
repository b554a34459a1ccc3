#include "Platform/Linux/SignalCrashDiagnosticSource.h"

#include "Base/UserDefaults.h"
#include "Core/CloudSession.h"
#include "Core/CrashReporter.h"
#include "Core/ImproveConfig.h"
#include "TestSupport/FakeCloudService.h"
#include "TestSupport/OddFiles.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

using namespace std::chrono_literals;

namespace {

// A real fault the compiler cannot see coming. The undefined-behaviour checker is kept out of it:
// it would end the process itself before the fault reached the handler under test.
__attribute__((no_sanitize("undefined"))) void dereferenceNull()
{
    volatile int *volatile target = nullptr;
    *target = 1;
}

nlohmann::json framesOf(const CrashDiagnostic &diagnostic)
{
    return nlohmann::json::parse(diagnostic.callStackTree.toStdString()).at("frames");
}

// A child process of the test crashes with the handler installed; the next "launch" (this
// process, on the same folder) reports that crash once.
TEST(SignalCrashDiagnosticSourceTest, ACrashIsReportedAtTheNextLaunchOnce)
{
    const struct
    {
        const char *name;
        void (*crash)();
        int signal;
    } cases[] = {
        {"null dereference", &dereferenceNull, SIGSEGV},
        {"abort", [] { std::abort(); }, SIGABRT},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        // The child is a fork of this process: it sees the same folder.
        QTemporaryDir folder;
        const QString path = folder.path() + QLatin1Char('/') + QLatin1String(c.name);
        EXPECT_EXIT(
            {
                SignalCrashDiagnosticSource(path).collect();
                c.crash();
            },
            testing::KilledBySignal(c.signal), "");

        SignalCrashDiagnosticSource nextLaunch(path);
        ASSERT_TRUE(QFile::exists(nextLaunch.pendingPath()));
        FakeCloudService service;
        CloudSession session(service.baseURL());
        UserDefaults defaults;
        // The user has seen the consent page: reports may leave.
        ImproveConfig::setConsentShown(defaults, true);
        CrashReporter reporter(session, defaults);
        reporter.didReceive(nextLaunch.takePending());
        ASSERT_TRUE(service.waitForRequests("/api/crash", 1, 5s));

        const auto request = service.requests("/api/crash").at(0);
        EXPECT_EQ(request.method, "POST");
        EXPECT_FALSE(request.hasHeader("Authorization"));
        const auto body = nlohmann::json::parse(request.body);
        EXPECT_EQ(body.at("signal"), c.signal);
        EXPECT_EQ(body.at("arch"), QSysInfo::currentCpuArchitecture().toStdString());
        const auto stack = nlohmann::json::parse(body.at("callStack").get<std::string>());
        ASSERT_FALSE(stack.at("frames").empty());
        EXPECT_EQ(stack.at("frames").at(0).at("address").get<std::string>().substr(0, 2), "0x");
        EXPECT_TRUE(stack.at("frames").at(0).contains("symbol"));

        EXPECT_FALSE(QFile::exists(nextLaunch.pendingPath())) << "removed after one attempt";
        reporter.didReceive(SignalCrashDiagnosticSource(path).takePending());
        QTest::qWait(50);
        EXPECT_EQ(service.requests("/api/crash").size(), 1u) << "the launch after sends nothing";
    }
}

TEST(SignalCrashDiagnosticSourceTest, BadReportsGiveNothingAndCutOnesKeepTheirWholeLines)
{
    const QByteArray head = "sonorvelle-crash-report 1\nversion 1.2.0 (7)\nos Debian 12\n"
                            "arch x86_64\n";
    const struct
    {
        const char *name;
        QByteArray report;
        std::optional<int> signal;
        std::vector<std::string> addresses;
        std::vector<std::string> symbols;
    } cases[] = {
        {"empty", "", std::nullopt, {}, {}},
        {"not ours", "hello\nsignal 11\n", std::nullopt, {}, {}},
        {"cut before the signal", head.left(30), std::nullopt, {}, {}},
        {"signal cut mid-line", head + "signal 1", std::nullopt, {}, {}},
        {"signal not a number", head + "signal eleven\nend\n", std::nullopt, {}, {}},
        {"whole",
         head + "signal 11\nframe 0x10\nframe 0x20\nsymbols\na(+0x1) [0x10]\nb [0x20]\nend\n",
         11,
         {"0x10", "0x20"},
         {"a(+0x1) [0x10]", "b [0x20]"}},
        {"cut among the frames", head + "signal 6\nframe 0x10\nframe 0x2", 6, {"0x10"}, {}},
        {"cut among the symbols",
         head + "signal 6\nframe 0x10\nframe 0x20\nsymbols\na [0x10]\nb [",
         6,
         {"0x10", "0x20"},
         {"a [0x10]"}},
        {"garbage frames dropped",
         head + "signal 7\nframe zz\nframe 0x123456789abcdef01\nframe 0xab\n\xff\xfe\nend\n",
         7,
         {"0xab"},
         {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const auto diagnostic = SignalCrashDiagnosticSource::parse(c.report);
        ASSERT_EQ(diagnostic.has_value(), c.signal.has_value());
        if (!diagnostic) {
            continue;
        }
        EXPECT_EQ(diagnostic->signal, c.signal);
        EXPECT_EQ(diagnostic->osVersion, QStringLiteral("Debian 12"));
        EXPECT_EQ(diagnostic->platformArchitecture, QStringLiteral("x86_64"));
        std::vector<std::string> addresses;
        std::vector<std::string> symbols;
        for (const auto &frame : framesOf(*diagnostic)) {
            addresses.push_back(frame.at("address"));
            if (frame.contains("symbol")) {
                symbols.push_back(frame.at("symbol"));
            }
        }
        EXPECT_EQ(addresses, c.addresses);
        EXPECT_EQ(symbols, c.symbols);
    }
}

// Whatever lies in the folder is taken once: a report the handler could not finish as well as a
// finished one, an oversized file is read no further than the bound, and nothing stays behind.
TEST(SignalCrashDiagnosticSourceTest, EveryFileIsTakenOnceAndRemoved)
{
    QTemporaryDir folder;
    SignalCrashDiagnosticSource source(folder.path());
    const auto put = [](const QString &path, const QByteArray &bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    put(source.partialPath(), "sonorvelle-crash-report 1\nsignal 11\nframe 0x1");
    put(source.pendingPath(),
        "sonorvelle-crash-report 1\nsignal 6\nframe 0x2\n"
            + QByteArray(SignalCrashDiagnosticSource::maxReportBytes * 4, 'x'));
    const auto taken = source.takePending();
    ASSERT_EQ(taken.size(), 2);
    EXPECT_EQ(taken[0].signal, 11);
    EXPECT_EQ(taken[1].signal, 6);
    EXPECT_EQ(framesOf(taken[1]).size(), 1u);
    EXPECT_FALSE(QFile::exists(source.partialPath()));
    EXPECT_FALSE(QFile::exists(source.pendingPath()));
    EXPECT_TRUE(source.takePending().isEmpty());

    put(source.pendingPath(), "");
    EXPECT_TRUE(source.takePending().isEmpty());
    EXPECT_FALSE(QFile::exists(source.pendingPath())) << "an empty report is removed too";
}

// A pipe in a report's place would hold the launch for ever, a device would never end: what is not
// a file is neither read nor waited for, and is kept aside as found. A huge file is read no further
// than the bound, and, being no report, is removed.
TEST(SignalCrashDiagnosticSourceTest, AnythingButAReportFileIsKeptAsideUnread)
{
    for (const OddFile &odd : OddFile::all()) {
        SCOPED_TRACE(odd.name);
        QTemporaryDir folder;
        SignalCrashDiagnosticSource source(folder.path());
        odd.make(source.pendingPath());
        EXPECT_TRUE(source.takePending().isEmpty());
        const QStringList kept =
            QDir(folder.path())
                .entryList({QStringLiteral("crash-report.pending.unreadable-*")},
                           QDir::AllEntries | QDir::System);
        if (QFileInfo(source.pendingPath()).exists()
            || QFileInfo(source.pendingPath()).isSymLink()) {
            ADD_FAILURE() << "something is still in the report's place";
        } else if (kept.isEmpty()) {
            EXPECT_EQ(odd.name, std::string("a sparse file of 1 GB"));
        } else {
            odd.isIntact(folder.filePath(kept.value(0)));
        }
    }
}

} // namespace
