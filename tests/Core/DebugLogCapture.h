#pragma once

#include "Base/AppInfo.h"
#include "Core/DebugLog.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <string>
#include <vector>

// Points the debug log at an empty data folder for the life of the object and reads back the
// messages written meanwhile (a message may span several lines).
class DebugLogCapture
{
public:
    DebugLogCapture()
    {
        DebugLog::flush(); // earlier lines land in the earlier folder
        m_previousDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", m_data.path().toUtf8());
    }

    ~DebugLogCapture()
    {
        DebugLog::flush();
        qputenv("XDG_DATA_HOME", m_previousDataHome);
    }

    DebugLogCapture(const DebugLogCapture &) = delete;
    DebugLogCapture &operator=(const DebugLogCapture &) = delete;

    // Every message logged so far, without its time stamp, oldest first.
    QStringList messages() const
    {
        DebugLog::flush();
        QFile file(m_data.path() + QLatin1Char('/') + AppInfo::bundleIdentifier()
                   + QStringLiteral("/tester.log"));
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        static const QRegularExpression stamp(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z "));
        QString text = QString::fromUtf8(file.readAll());
        if (text.endsWith(QLatin1Char('\n'))) {
            text.chop(1);
        }
        QStringList result;
        for (const QString &line : text.split(QLatin1Char('\n'))) {
            const auto match = stamp.match(line);
            if (match.hasMatch()) {
                result << line.mid(match.capturedLength());
            } else if (!result.isEmpty()) {
                result.last() += QLatin1Char('\n') + line;
            }
        }
        return result;
    }

    // The same as standard strings, which read well in a failure message.
    std::vector<std::string> lines() const { return toStd(messages()); }
    static std::vector<std::string> toStd(const QStringList &list)
    {
        std::vector<std::string> result;
        for (const QString &item : list) {
            result.push_back(item.toStdString());
        }
        return result;
    }

private:
    QTemporaryDir m_data;
    QByteArray m_previousDataHome;
};
