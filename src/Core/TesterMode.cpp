#include "Core/TesterMode.h"

#include "Base/AppInfo.h"
#include "Base/Async.h"
#include "Base/Clock.h"
#include "Base/Timer.h"
#include "Base/Unicode.h"
#include "Base/UserDefaults.h"
#include "Core/CloudSession.h"
#include "Core/CrashConfig.h"
#include "Core/DebugLog.h"
#include "Platform/Qt/ProcessLogRing.h"

#include <QPointer>
#include <QSysInfo>

#include <nlohmann/json.hpp>

namespace {

const QString kEnabledKey = QStringLiteral("testerModeEnabled");
const QString kLastExportKey = QStringLiteral("testerLastExport");

// The operating system as a tester would name it: the distribution and the kernel.
QString osVersion()
{
    return QSysInfo::prettyProductName() + QStringLiteral(" (") + QSysInfo::kernelType()
        + QLatin1Char(' ') + QSysInfo::kernelVersion() + QLatin1Char(')');
}

// "2026-01-01 08:30:00 +0000"
QString describeDate(const QDateTime &date)
{
    return date.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" +0000");
}

} // namespace

TesterMode &TesterMode::shared()
{
    static TesterMode *instance = new TesterMode(UserDefaults::standard(), Clock::system(),
                                                 ProcessLogRing::shared(), CloudSession::shared());
    return *instance;
}

TesterMode::TesterMode(UserDefaults &defaults, Clock &clock, ProcessLogRing &processLog,
                       CloudSession &session, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_clock(clock)
    , m_processLog(processLog)
    , m_session(session)
{
    m_enabled = m_defaults.boolValue(kEnabledKey).value_or(false);
    // Stored as ISO 8601 text with milliseconds; anything else counts as absent.
    if (auto stored = m_defaults.string(kLastExportKey)) {
        const QDateTime date = QDateTime::fromString(*stored, Qt::ISODateWithMs);
        if (date.isValid()) {
            m_lastExport = date.toUTC();
        }
    }
    if (!m_lastExport.isValid()) {
        m_lastExport = m_clock.now().addSecs(-uploadInterval.count());
    }
}

TesterMode::~TesterMode() = default;

QUrl TesterMode::endpoint() const
{
    return m_session.endpoint(QStringLiteral("testlog"));
}

void TesterMode::start()
{
    if (!m_enabled) {
        return;
    }
    DebugLog::log(QStringLiteral("tester: session start (v") + appVersion()
                  + QStringLiteral(" build ") + appBuild() + QLatin1Char(')'));
    scheduleTimer();
    upload();
}

void TesterMode::toggle()
{
    m_enabled = !m_enabled;
    m_defaults.setValue(kEnabledKey, m_enabled);
    Q_EMIT enabledChanged(m_enabled);
    if (m_enabled) {
        DebugLog::log(QStringLiteral("tester: mode ON"));
        scheduleTimer();
        upload();
    } else {
        DebugLog::log(QStringLiteral("tester: mode OFF"));
        upload();
        if (m_timer) {
            m_timer->stop();
            m_timer.reset();
        }
    }
}

void TesterMode::scheduleTimer()
{
    if (m_timer) {
        m_timer->stop();
    }
    m_timer = m_clock.makeTimer();
    connect(m_timer.get(), &Timer::timeout, this, &TesterMode::upload);
    m_timer->start(uploadInterval, true, uploadTolerance);
}

void TesterMode::upload()
{
    Upload job;
    job.since = m_lastExport;
    // The window moves on now, whether or not this upload gets through.
    m_lastExport = m_clock.now().toUTC();
    m_defaults.setValue(kLastExportKey, m_lastExport.toString(Qt::ISODateWithMs));
    // Waits for the lines queued so far, so a line logged just before is part of this upload.
    job.debugLogTail = DebugLog::tail();
    job.processLogExport = exportProcessLog(m_processLog, job.since);
    job.installID = CrashConfig::installID(m_defaults);
    send(std::move(job));
}

QCoro::Task<> TesterMode::send(Upload upload)
{
    QPointer<TesterMode> self(this);
    auto build = [upload]() -> QByteArray {
        const QString log = logText(upload.debugLogTail, upload.since, upload.processLogExport);
        return uploadBody(upload.installID, log);
    };
    const QByteArray body = co_await Async::runInBackground(std::move(build));
    if (!self) {
        co_return;
    }
    if (body.isEmpty()) {
        Q_EMIT uploadFinished();
        co_return;
    }

    CloudRequest request = m_session.request(QStringLiteral("testlog"));
    request.method = "POST";
    request.setHeader("Content-Type", "application/json");
    request.body = body;
    request.timeout = requestTimeout;
    // The answer does not matter: no retry, no log line, no change of state.
    co_await m_session.perform(std::move(request));
    if (self) {
        Q_EMIT uploadFinished();
    }
}

QString TesterMode::appVersion()
{
    return versionOr(AppInfo::shortVersion(), QStringLiteral("dev"));
}

QString TesterMode::appBuild()
{
    return versionOr(AppInfo::buildVersion(), QStringLiteral("0"));
}

QString TesterMode::versionOr(const QString &value, const QString &fallback)
{
    return value.isEmpty() ? fallback : value;
}

QString TesterMode::logText(const QString &debugLogTail, const QDateTime &since,
                            const QString &processLogExport)
{
    QString text = QStringLiteral("== app log (DebugLog) ==\n");
    text += debugLogTail;
    text += QStringLiteral("\n\n== unified log (own process, since ");
    text += describeDate(since);
    text += QStringLiteral(") ==\n");
    text += processLogExport;
    return capped(text);
}

QString TesterMode::capped(const QString &text)
{
    // Quick test first: a text of no more code units than the limit has no more bytes than
    // three times that, so only long texts are measured exactly.
    if (text.size() * 3 <= maxLogBytes || text.toUtf8().size() <= maxLogBytes) {
        return text;
    }
    return Unicode::graphemeSuffix(text, maxLogBytes);
}

QString TesterMode::exportProcessLog(const ProcessLogRing &ring, const QDateTime &since)
{
    if (!ring.isInstalled()) {
        return QStringLiteral(
            "(oslog export failed: the process's log messages are not being recorded)");
    }
    QStringList lines;
    for (const ProcessLogRing::Entry &entry : ring.entriesSince(since, maxProcessLogLines)) {
        lines << entry.time.toUTC().toString(Qt::ISODate) + QStringLiteral(" [") + entry.category
                + QStringLiteral("] ") + entry.message;
    }
    return lines.join(QLatin1Char('\n'));
}

QByteArray TesterMode::uploadBody(const QString &installID, const QString &log)
{
    nlohmann::ordered_json body;
    body["type"] = "testlog";
    body["app"] = "sonorvelle";
    body["installID"] = installID.toStdString();
    body["appVersion"] = appVersion().toStdString();
    body["build"] = appBuild().toStdString();
    body["osVersion"] = osVersion().toStdString();
    body["log"] = log.toStdString();
    try {
        return QByteArray::fromStdString(body.dump());
    } catch (const nlohmann::json::exception &) {
        return {};
    }
}
