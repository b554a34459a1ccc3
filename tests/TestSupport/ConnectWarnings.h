#pragma once

#include <QMessageLogContext>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Records the connection warnings Qt prints while it lives ("QObject::connect: No such signal
// …"): a connection made by name that fails at run time leaves nothing else behind. Every other
// message goes on to the handler that was installed before. One at a time.
class ConnectWarnings
{
public:
    ConnectWarnings()
    {
        s_messages = {};
        s_previous = qInstallMessageHandler(&ConnectWarnings::handle);
    }
    ~ConnectWarnings() { qInstallMessageHandler(s_previous); }
    ConnectWarnings(const ConnectWarnings &) = delete;
    ConnectWarnings &operator=(const ConnectWarnings &) = delete;

    const QStringList &messages() const { return s_messages; }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (message.startsWith(QLatin1String("QObject::connect"))
            || message.startsWith(QLatin1String("QObject::disconnect"))) {
            s_messages.append(message);
        }
        if (s_previous) {
            s_previous(type, context, message);
        }
    }

    static inline QStringList s_messages;
    static inline QtMessageHandler s_previous = nullptr;
};
