#include "Core/CrashReporter.h"

#include "Base/UserDefaults.h"
#include "Core/CloudSession.h"
#include "Core/ImproveConfig.h"
#include "Platform/CrashDiagnosticSource.h"
#include "TestSupport/FakeCloudService.h"

#include <QTest>

#include <algorithm>
#include <set>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

CrashDiagnostic diagnostic(int signal)
{
    CrashDiagnostic crash;
    crash.osVersion = QStringLiteral("Debian GNU/Linux 12 (bookworm)");
    crash.platformArchitecture = QStringLiteral("x86_64");
    crash.callStackTree = R"({"frames":[{"address":"0x10"}]})";
    crash.signal = signal;
    return crash;
}

class CrashReporterTest : public ::testing::Test
{
protected:
    // The user has seen the consent page of the guide.
    CrashReporterTest() { ImproveConfig::setConsentShown(defaults, true); }

    std::vector<nlohmann::json> sentReports(size_t expected)
    {
        service.waitForRequests("/api/crash", expected, 2s);
        QTest::qWait(20); // a request too many has its chance to arrive
        std::vector<nlohmann::json> bodies;
        for (const auto &request : service.requests("/api/crash")) {
            bodies.push_back(nlohmann::json::parse(request.body));
        }
        return bodies;
    }

    FakeCloudService service;
    CloudSession session {service.baseURL()};
    UserDefaults defaults;
    CrashReporter reporter {session, defaults};
};

TEST_F(CrashReporterTest, OnlyAStoredFalseSilencesTheReports)
{
    const struct
    {
        const char *name;
        QVariant stored;
        size_t sent;
    } cases[] = {
        {"absent", QVariant(), 2},
        {"true", true, 2},
        {"not a boolean", QStringLiteral("no"), 2},
        {"false", false, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        service.clearRequests();
        defaults.setValue(QStringLiteral("crashReportingEnabled"), c.stored);
        reporter.didReceive({diagnostic(11), diagnostic(6)});
        const auto reports = sentReports(c.sent);
        ASSERT_EQ(reports.size(), c.sent);
        // Each report travels on its own: they may arrive in any order.
        std::multiset<int> received;
        for (const auto &report : reports) {
            received.insert(report.at("signal").get<int>());
        }
        if (c.sent == 2) {
            EXPECT_EQ(received, (std::multiset<int> {6, 11}));
        }
    }
}

// Before the consent page of the guide has shown, no crash report leaves the machine; a guide
// completed before the page was tracked counts as seen.
TEST_F(CrashReporterTest, NoReportLeavesBeforeTheConsentPageHasShown)
{
    defaults.remove(QStringLiteral("consentShown"));
    reporter.didReceive({diagnostic(11)});
    EXPECT_TRUE(sentReports(0).empty());

    defaults.setValue(QStringLiteral("onboardingCompleted"), true);
    reporter.didReceive({diagnostic(11)});
    EXPECT_EQ(sentReports(1).size(), 1u);

    service.clearRequests();
    defaults.setValue(QStringLiteral("consentShown"), false);
    reporter.didReceive({diagnostic(6)});
    EXPECT_TRUE(sentReports(0).empty());
}

TEST_F(CrashReporterTest, TheReportHoldsTheEightKeysAndWhatTheCrashCarries)
{
    CrashDiagnostic bare = diagnostic(11);
    bare.signal.reset();
    CrashDiagnostic full = diagnostic(11);
    full.exceptionType = 1;
    full.exceptionCode = 2;
    full.terminationReason = QStringLiteral("Namespace SIGNAL, Code 11");
    CrashDiagnostic notText = diagnostic(4);
    notText.callStackTree = "{\"frames\":\"\xff\xfe\"}";
    reporter.didReceive({bare, full, notText});
    auto reports = sentReports(3);
    ASSERT_EQ(reports.size(), 3u);
    // In the order bare, full, not text (they may arrive in any order).
    const auto rank = [](const nlohmann::json &report) {
        const int signal = report.value("signal", 0);
        return signal == 0 ? 0 : signal == 11 ? 1 : 2;
    };
    std::sort(reports.begin(), reports.end(),
              [&](const auto &a, const auto &b) { return rank(a) < rank(b); });

    std::set<std::string> keys;
    for (const auto &item : reports[0].items()) {
        keys.insert(item.key());
    }
    EXPECT_EQ(keys,
              (std::set<std::string> {"type", "app", "installID", "appVersion", "build",
                                      "osVersion", "arch", "callStack"}));
    EXPECT_EQ(reports[0].at("type"), "crash");
    EXPECT_EQ(reports[0].at("app"), "sonorvelle");
    EXPECT_EQ(reports[0].at("osVersion"), "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(reports[0].at("arch"), "x86_64");
    EXPECT_EQ(reports[0].at("callStack"), R"({"frames":[{"address":"0x10"}]})")
        << "the call stack travels as text";
    const auto installID = defaults.string(QStringLiteral("crashInstallID"));
    ASSERT_TRUE(installID) << "the first report creates the identifier";
    for (const auto &report : reports) {
        EXPECT_EQ(report.at("installID"), installID->toStdString()) << "and keeps it";
    }

    EXPECT_EQ(reports[1].at("signal"), 11);
    EXPECT_EQ(reports[1].at("exceptionType"), 1);
    EXPECT_EQ(reports[1].at("exceptionCode"), 2);
    EXPECT_EQ(reports[1].at("terminationReason"), "Namespace SIGNAL, Code 11");
    EXPECT_EQ(reports[2].at("callStack"), "") << "bytes that are not UTF-8";

    for (const auto &request : service.requests("/api/crash")) {
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.header("Content-Type"), "application/json");
        EXPECT_FALSE(request.hasHeader("Authorization"));
    }
}

// The reports of earlier runs are taken before this run starts collecting: a crash now must not
// take the place of one not yet sent. Taken reports are gone even when reporting is off.
TEST_F(CrashReporterTest, StartTakesTheEarlierCrashesThenCollects)
{
    struct Source final : CrashDiagnosticSource
    {
        void collect() override { calls << QStringLiteral("collect"); }
        QList<CrashDiagnostic> takePending() override
        {
            calls << QStringLiteral("take");
            return std::exchange(pending, {});
        }
        QStringList calls;
        QList<CrashDiagnostic> pending {diagnostic(11)};
    } source;

    reporter.start(source);
    EXPECT_EQ(source.calls, (QStringList {QStringLiteral("take"), QStringLiteral("collect")}));
    EXPECT_EQ(sentReports(1).size(), 1u);
}

} // namespace
