#pragma once

#include <QObject>
#include <QStringList>

class QLocalServer;

// One running application per user session. The first process listens on a local socket in the
// runtime folder; a later launch hands its arguments (a "sonorvelle:" sign-in callback URL from
// the desktop's scheme handler, or nothing) to the running one and exits.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(const QString &socketPath, QObject *parent = nullptr);
    ~SingleInstance() override;

    // The socket path of the application's own channel.
    static QString defaultSocketPath();

    // True: this process is the running instance and now listens. False: another instance runs and
    // got `arguments`; the caller exits.
    bool claimOrForward(const QStringList &arguments);

Q_SIGNALS:
    // A later launch's arguments, in the running instance.
    void launchedAgain(const QStringList &arguments);

private:
    bool forward(const QStringList &arguments);
    void acceptConnections();

    QString m_socketPath;
    QLocalServer *m_server = nullptr;
};
