#pragma once

#include "Platform/KeychainBackend.h"

class QDBusConnection;

// The desktop's secret store through QtKeychain (the Secret Service, or KWallet on KDE): one
// generic password per key under the service named by the bundle identifier. Never falls back to
// storing secrets in plain text.
class QtKeychainBackend final : public KeychainBackend
{
public:
    QtKeychainBackend();

    // A secret service or a wallet daemon owns its name on the session bus, or can be started by
    // the bus. A bus that does not answer within a few hundred milliseconds has no store.
    bool isAvailable() override;
    // The same question asked of `bus`, each call waiting at most timeoutMs.
    static bool storeReachable(const QDBusConnection &bus, int timeoutMs);
    void read(const QString &key, Completion done) override;
    void write(const QString &key, const QString &value, Completion done) override;
    void remove(const QString &key, Completion done) override;

private:
    QString m_service;
};
