#pragma once

#include "FixtureProgram.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTest>

// The paste target fixture: a window whose text field has the focus, in a process of its own,
// reporting every change of the field on its standard output.
class PasteTarget
{
public:
    // `answerTimeoutMs` bounds every wait for the fixture's answers.
    explicit PasteTarget(int answerTimeoutMs = 10000)
        : m_answerTimeoutMs(answerTimeoutMs)
    { }

    ~PasteTarget()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.closeWriteChannel();
            if (!m_process.waitForFinished(3000)) {
                m_process.kill();
                m_process.waitForFinished();
            }
        }
    }

    bool start(const QStringList &arguments = {})
    {
        const QString program = FixtureProgram::path(u"sonorvelle_paste_target");
        if (program.isEmpty()) {
            return false;
        }
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process, [this] {
            while (m_process.canReadLine()) {
                m_lines.append(m_process.readLine().trimmed());
            }
        });
        m_process.start(program, arguments);
        return QTest::qWaitFor([this] { return m_lines.contains("ready"); }, m_answerTimeoutMs);
    }

    // The field's latest text.
    QString text() const
    {
        for (qsizetype i = m_lines.size() - 1; i >= 0; --i) {
            if (m_lines.at(i).startsWith("text ")) {
                return QString::fromUtf8(QByteArray::fromBase64(m_lines.at(i).mid(5)));
            }
        }
        return {};
    }

    bool waitForText(const QString &expected, int timeoutMs = -1)
    {
        return QTest::qWaitFor([&] { return text() == expected; },
                               timeoutMs < 0 ? m_answerTimeoutMs : timeoutMs);
    }

    QList<QByteArray> shortcuts() const
    {
        QList<QByteArray> result;
        for (const QByteArray &line : m_lines) {
            if (line.startsWith("key ")) {
                result.append(line.mid(4));
            }
        }
        return result;
    }

    bool clear()
    {
        m_lines.clear();
        m_process.write("clear\n");
        return QTest::qWaitFor([this] { return m_lines.contains("cleared"); }, m_answerTimeoutMs);
    }

private:
    int m_answerTimeoutMs;
    QProcess m_process;
    QList<QByteArray> m_lines;
};
