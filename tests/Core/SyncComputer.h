#pragma once

#include "Base/ManualClock.h"
#include "Base/UserDefaults.h"
#include "Core/CloudAccount.h"
#include "Core/CloudSession.h"
#include "Core/Keychain.h"
#include "Core/VersionedBlobSync.h"
#include "Fakes/FakeKeychainBackend.h"
#include "Fakes/FakeUrlOpener.h"
#include "TestSupport/FakeCloudService.h"

#include <QTest>
#include <QUrlQuery>

#include <QCoro/QCoroTask>
#include <nlohmann/json.hpp>

#include <memory>
#include <string>

// One computer of the user against the fake service: its own session, keychain, account and
// in-memory defaults on a manual clock; signed in with `token` and `email` (an empty token: signed
// out). The sync clients under test are made on top of it.
class SyncComputer
{
public:
    explicit SyncComputer(FakeCloudService &service, const QString &token = QStringLiteral("tok-a"),
                          const QString &email = QStringLiteral("a@example.org"))
        : service(service)
    {
        if (!token.isEmpty()) {
            backend.items = {{QStringLiteral("cloudToken"), token.toUtf8()},
                             {QStringLiteral("cloudEmail"), email.toUtf8()},
                             {QStringLiteral("cloudTier"), "pro"}};
        }
        QCoro::waitFor(keychain.load());
        account =
            std::make_unique<CloudAccount>(CloudAccount::Services {&keychain, &session, &opener});
    }

    // Signs in to the account of `token` through the browser's callback, as a user would; the
    // account publishes the signed-in state when the exchange has answered.
    bool signIn(const QString &token, const QString &email)
    {
        service.script("/api/app/token",
                       FakeCloudService::Reply::json(nlohmann::json {
                           {"token", token.toStdString()},
                           {"email", email.toStdString()},
                           {"tier", "pro"}}.dump()));
        account->signIn();
        const QString state =
            QUrlQuery(opener.opened.last()).queryItemValue(QStringLiteral("state"));
        if (!account->handleCallback(
                QUrl(QStringLiteral("sonorvelle://auth?code=c&state=") + state))) {
            return false;
        }
        return QTest::qWaitFor([&] { return account->storedToken() == token; }, 5000);
    }

    // Runs the event loop until the sync has nothing under way or waiting.
    static bool settle(VersionedBlobSync &sync)
    {
        return QTest::qWaitFor([&] { return !sync.isBusy(); }, 5000);
    }

    FakeCloudService &service;
    CloudSession session {service.baseURL()};
    FakeKeychainBackend backend;
    ManualClock clock;
    Keychain keychain {&backend, clock};
    FakeUrlOpener opener;
    std::unique_ptr<CloudAccount> account;
    UserDefaults defaults;
};
