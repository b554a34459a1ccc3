#pragma once

#include "Platform/KeychainBackend.h"

// The desktop's secret store through QtKeychain (the Secret Service, or KWallet on KDE): one
// generic password per key under the service named by the bundle identifier. Never falls back to
// storing secrets in plain text.
class QtKeychainBackend final : public KeychainBackend
{
public:
    QtKeychainBackend();

    // A secret service or a wallet daemon owns its name on the session bus, or can be started by
    // the bus.
    bool isAvailable() override;
    void read(const QString &key, Completion done) override;
    void write(const QString &key, const QString &value, Completion done) override;
    void remove(const QString &key, Completion done) override;

private:
    QString m_service;
};
