// The whole sign-in as a user meets it: the account opens the sign-in page, the browser's
// callback starts a second `sonorvelle` process that hands the URL to the running instance, the
// instance exchanges the code with the cloud service, and the token lands in the session's real
// keyring, where a new process reads it. Signing out removes it and tells the service.

#include "FixtureProgram.h"

#include "Base/Clock.h"
#include "Core/CloudAccount.h"
#include "Core/CloudSession.h"
#include "Core/Keychain.h"
#include "Fakes/FakeUrlOpener.h"
#include "Platform/Qt/QtKeychainBackend.h"
#include "Platform/Qt/SingleInstance.h"
#include "TestSupport/FakeCloudService.h"
#include "TestSupport/QtPrinters.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>
#include <QUuid>

#include <QCoro/QCoroTask>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

constexpr int waitMs = 15000;

// What a fresh process reads from the keyring for each key: "present <hex>" or "absent".
QStringList probe(const QStringList &keys)
{
    const QString program = FixtureProgram::path(u"sonorvelle_keychain_probe");
    if (program.isEmpty()) {
        return {QStringLiteral("error: sonorvelle_keychain_probe was not built")};
    }
    QProcess process;
    process.start(program, keys);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return {QStringLiteral("error: the probe did not finish")};
    }
    QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n');
    lines.removeAll(QString());
    return lines;
}

QString present(const QString &value)
{
    return QStringLiteral("present ") + QString::fromLatin1(value.toUtf8().toHex());
}

const QStringList accountKeys = {QStringLiteral("cloudToken"), QStringLiteral("cloudEmail"),
                                 QStringLiteral("cloudTier")};

TEST(CloudSignIn, ThroughTheBrowserCallbackIntoTheKeyringAndOutAgain)
{
    QtKeychainBackend backend;
    ASSERT_TRUE(backend.isAvailable())
        << "keyring: no secret service on the session bus (scripts/test starts gnome-keyring)";
    Keychain keychain(&backend, Clock::system(), 10s);
    QCoro::waitFor(keychain.load());
    ASSERT_FALSE(keychain.isMemoryOnly());
    for (const QString &key : accountKeys) {
        keychain.remove(key);
    }
    QCoro::waitFor(keychain.waitForPendingJobs());

    FakeCloudService service;
    const QString token = QStringLiteral("token-") + QUuid::createUuid().toString(QUuid::Id128);
    service.script(
        "/api/app/token",
        FakeCloudService::Reply::json(
            (QStringLiteral(R"({"token":"%1","email":"user@example.org","tier":"pro"})").arg(token))
                .toStdString()));
    CloudSession session(service.baseURL());
    FakeUrlOpener browser;
    CloudAccount account({&keychain, &session, &browser});
    QSignalSpy published(&account, &CloudAccount::stateChanged);

    // This process plays the running application: it owns the single-instance socket of a
    // private runtime folder, and hands what a later launch forwards to the account.
    QTemporaryDir runtime;
    const QString socketPath = runtime.filePath(QStringLiteral("org.sonorvelle.Sonorvelle.sock"));
    SingleInstance instance(socketPath);
    ASSERT_TRUE(instance.claimOrForward({}));
    QList<bool> handled;
    QObject::connect(&instance, &SingleInstance::launchedAgain, &account,
                     [&](const QStringList &arguments) {
                         for (const QString &argument : arguments) {
                             handled.append(account.handleCallback(QUrl(argument)));
                         }
                     });

    account.signIn();
    ASSERT_EQ(browser.opened.size(), 1);
    const QUrlQuery page(browser.opened.first());
    EXPECT_EQ(browser.opened.first().path(), QStringLiteral("/app/connect"));
    const QString callback = QStringLiteral("sonorvelle://auth?code=browser-code&state=%1")
                                 .arg(page.queryItemValue(QStringLiteral("state")));

    // The desktop's scheme handler starts the application again with the callback URL.
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("SONORVELLE_CLOUD_URL"), service.baseURL().toString());
    QProcess second;
    second.setProcessEnvironment(environment);
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    second.start(QStringLiteral(SONORVELLE_APP_BINARY), {callback});
    ASSERT_TRUE(QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, waitMs));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);

    ASSERT_TRUE(QTest::qWaitFor([&] { return published.count() >= 1; }, waitMs));
    EXPECT_EQ(handled, QList<bool> {true});
    EXPECT_EQ(
        account.state(),
        CloudAccount::State::signedIn(QStringLiteral("user@example.org"), QStringLiteral("pro")));
    const auto exchanges = service.requests("/api/app/token");
    ASSERT_EQ(exchanges.size(), 1u);
    const Json::Object body = Json::parse(QByteArray::fromStdString(exchanges[0].body));
    EXPECT_EQ(body.at("code"), "browser-code");
    EXPECT_EQ(CloudAccount::challenge(Json::fromStd(body.at("verifier").get<std::string>())),
              page.queryItemValue(QStringLiteral("challenge")));

    QCoro::waitFor(keychain.waitForPendingJobs());
    EXPECT_EQ(probe(accountKeys),
              (QStringList {present(token), present(QStringLiteral("user@example.org")),
                            present(QStringLiteral("pro"))}));

    // The same callback once more: the sign-in it answered is over.
    QProcess again;
    again.setProcessEnvironment(environment);
    again.start(QStringLiteral(SONORVELLE_APP_BINARY), {callback});
    ASSERT_TRUE(QTest::qWaitFor([&] { return handled.size() == 2; }, waitMs));
    EXPECT_EQ(handled.last(), false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return again.state() == QProcess::NotRunning; }, waitMs));

    account.signOut();
    EXPECT_EQ(account.state(), CloudAccount::State::signedOut());
    ASSERT_TRUE(service.waitForRequests("/api/app/logout", 1));
    EXPECT_EQ(service.requests("/api/app/logout").at(0).header("Authorization"),
              ("Bearer " + token).toStdString());
    QCoro::waitFor(keychain.waitForPendingJobs());
    EXPECT_EQ(probe(accountKeys),
              (QStringList {QStringLiteral("absent"), QStringLiteral("absent"),
                            QStringLiteral("absent")}));
}

} // namespace
