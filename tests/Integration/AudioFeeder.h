#pragma once

#include "FixtureProgram.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QTest>

// The audio feeder fixture playing one recording into the session's virtual microphone; it says
// where the speech starts and ends ("speech-start", "speech-end").
class AudioFeeder
{
public:
    static constexpr int answerTimeoutMs = 15000;

    ~AudioFeeder()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000)) {
                m_process.kill();
                m_process.waitForFinished();
            }
        }
    }

    void start(const QString &recording)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process, [this] {
            while (m_process.canReadLine()) {
                m_lines.append(m_process.readLine().trimmed());
            }
        });
        m_process.start(FixtureProgram::path(u"sonorvelle_audio_feeder"),
                        {QStringLiteral("--input"), recording, QStringLiteral("--lead"),
                         QStringLiteral("300"), QStringLiteral("--duration"), QStringLiteral("0")});
    }

    bool waitFor(const QByteArray &line)
    {
        return QTest::qWaitFor([&] { return m_lines.contains(line); }, answerTimeoutMs);
    }

    // Silence keeps flowing until the feeder stops, so the capture never stalls on a quiet pipe.
    void stop()
    {
        m_process.terminate();
        if (!QTest::qWaitFor([&] { return m_process.state() == QProcess::NotRunning; }, 3000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

private:
    QProcess m_process;
    QList<QByteArray> m_lines;
};
