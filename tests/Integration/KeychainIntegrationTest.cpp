// The keychain against the real secret service of the test session (an unlocked gnome-keyring):
// what one process stores, a new process reads, and a removal is seen there too.

#include "FixtureProgram.h"

#include "Base/Clock.h"
#include "Core/Keychain.h"
#include "Platform/Qt/QtKeychainBackend.h"
#include "TestSupport/QtPrinters.h"

#include <QProcess>
#include <QUuid>

#include <QCoro/QCoroTask>
#include <gtest/gtest.h>

namespace {

constexpr int probeTimeoutMs = 30000;

// The lines the probe prints for the keys, or a line starting with "error" naming what failed.
QStringList probe(const QStringList &keys)
{
    const QString program = FixtureProgram::path(u"sonorvelle_keychain_probe");
    if (program.isEmpty()) {
        return {
            QStringLiteral("error: the fixture program sonorvelle_keychain_probe was not built")};
    }
    QProcess process;
    process.start(program, keys);
    if (!process.waitForFinished(probeTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {QStringLiteral("error: the probe did not finish")};
    }
    QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n');
    lines.removeAll(QString());
    if (process.exitCode() != 0) {
        lines.prepend(QStringLiteral("error: the probe exited with %1").arg(process.exitCode()));
    }
    return lines;
}

QString present(const QString &value)
{
    return QStringLiteral("present ") + QString::fromLatin1(value.toUtf8().toHex());
}

} // namespace

TEST(KeychainIntegration, WhatOneProcessStoresANewProcessReads)
{
    QtKeychainBackend backend;
    ASSERT_TRUE(backend.isAvailable())
        << "keyring: no secret service on the session bus (scripts/test starts gnome-keyring)";
    Keychain keychain(&backend, Clock::system(), std::chrono::seconds(10));

    const QString suffix = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString tokenKey = QStringLiteral("integration-token-") + suffix;
    const QString emptyKey = QStringLiteral("integration-empty-") + suffix;
    const QString token = QStringLiteral("tøken ✓ ") + suffix;

    QCoro::waitFor(keychain.load({tokenKey, emptyKey}));
    ASSERT_FALSE(keychain.isMemoryOnly()) << "keyring: the keychain fell back to memory";
    EXPECT_EQ(keychain.get(tokenKey), std::nullopt);

    keychain.set(QStringLiteral("first"), tokenKey);
    keychain.set(token, tokenKey);
    keychain.set(QString(), emptyKey);
    QCoro::waitFor(keychain.waitForPendingJobs());

    EXPECT_EQ(probe({tokenKey, emptyKey}),
              (QStringList {present(token), QStringLiteral("present ")}));

    keychain.remove(tokenKey);
    keychain.set(std::nullopt, emptyKey);
    keychain.remove(QStringLiteral("integration-never-") + suffix);
    QCoro::waitFor(keychain.waitForPendingJobs());

    EXPECT_EQ(probe({tokenKey, emptyKey}),
              (QStringList {QStringLiteral("absent"), QStringLiteral("absent")}));
}
