#pragma once

#include "FixtureProgram.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTest>

// The slow clipboard owner fixture: a client of its own that owns CLIPBOARD and answers each
// request after a delay, one after the other (serial) or each on its own.
class SlowClipboardOwner
{
public:
    ~SlowClipboardOwner()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.closeWriteChannel();
            if (!m_process.waitForFinished(3000)) {
                m_process.kill();
                m_process.waitForFinished();
            }
        }
    }

    // Starts the owner and waits until it owns the clipboard.
    bool start(const QString &text, int targets, int delayMs, bool serial)
    {
        const QString program = FixtureProgram::path(u"sonorvelle_slow_clipboard_owner");
        if (program.isEmpty()) {
            return false;
        }
        QStringList arguments {QStringLiteral("--text"),     text,
                               QStringLiteral("--targets"),  QString::number(targets),
                               QStringLiteral("--delay-ms"), QString::number(delayMs)};
        if (serial) {
            arguments.append(QStringLiteral("--serial"));
        }
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process, [this] {
            while (m_process.canReadLine()) {
                m_lines.append(m_process.readLine().trimmed());
            }
        });
        m_process.start(program, arguments);
        return QTest::qWaitFor([this] { return m_lines.contains("ready"); }, 10000);
    }

    // How many requests it has answered so far.
    qsizetype served() const
    {
        qsizetype count = 0;
        for (const QByteArray &line : m_lines) {
            count += line.startsWith("served ") ? 1 : 0;
        }
        return count;
    }

private:
    QProcess m_process;
    QList<QByteArray> m_lines;
};
