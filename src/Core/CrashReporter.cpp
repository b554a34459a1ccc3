#include "Core/CrashReporter.h"

#include "Base/AppInfo.h"
#include "Base/UserDefaults.h"
#include "Core/CloudSession.h"
#include "Core/CrashConfig.h"
#include "Core/ImproveConfig.h"
#include "Platform/CrashDiagnosticSource.h"

#include <QCoreApplication>
#include <QStringDecoder>

#include <QCoro/QCoroTask>

namespace {

QString bundleValueOrUnknown(const QString &value)
{
    return value.isEmpty() ? QStringLiteral("?") : value;
}

QCoro::Task<> post(CloudSession *session, CloudRequest request)
{
    co_await session->perform(std::move(request));
}

} // namespace

CrashReporter::CrashReporter(CloudSession &session, UserDefaults &defaults)
    : m_session(session)
    , m_defaults(defaults)
{ }

CrashReporter &CrashReporter::shared()
{
    static CrashReporter *instance =
        new CrashReporter(CloudSession::shared(), UserDefaults::standard());
    return *instance;
}

void CrashReporter::start(CrashDiagnosticSource &source)
{
    // The earlier runs' reports first: a crash of this run must not replace one not yet taken.
    const QList<CrashDiagnostic> pending = source.takePending();
    source.collect();
    didReceive(pending);
}

void CrashReporter::didReceive(const QList<CrashDiagnostic> &diagnostics)
{
    // Nothing leaves the machine before the user has seen the consent page.
    if (!CrashConfig::reportingEnabled(m_defaults) || !ImproveConfig::consentGiven(m_defaults)) {
        return;
    }
    for (const CrashDiagnostic &diagnostic : diagnostics) {
        send(report(diagnostic));
    }
}

Json::Object CrashReporter::report(const CrashDiagnostic &diagnostic) const
{
    Json::Object report = Json::Object::object();
    Json::putString(report, "type", QStringLiteral("crash"));
    Json::putString(report, "app", QStringLiteral("sonorvelle"));
    Json::putString(report, "installID", CrashConfig::installID(m_defaults));
    Json::putString(report, "appVersion", bundleValueOrUnknown(AppInfo::shortVersion()));
    Json::putString(report, "build", bundleValueOrUnknown(AppInfo::buildVersion()));
    Json::putString(report, "osVersion", diagnostic.osVersion);
    Json::putString(report, "arch", diagnostic.platformArchitecture);
    // The receiver decodes the call stack a second time; bytes that are not UTF-8 give "".
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString callStack = utf8.decode(diagnostic.callStackTree);
    if (utf8.hasError()) {
        callStack.clear();
    }
    Json::putString(report, "callStack", callStack);
    if (diagnostic.signal) {
        Json::putInt64(report, "signal", *diagnostic.signal);
    }
    if (diagnostic.exceptionType) {
        Json::putInt64(report, "exceptionType", *diagnostic.exceptionType);
    }
    if (diagnostic.exceptionCode) {
        Json::putInt64(report, "exceptionCode", *diagnostic.exceptionCode);
    }
    if (diagnostic.terminationReason) {
        Json::putString(report, "terminationReason", *diagnostic.terminationReason);
    }
    return report;
}

void CrashReporter::send(const Json::Object &report)
{
    CloudRequest request = m_session.request(QStringLiteral("crash"));
    request.method = "POST";
    try {
        request.setJsonBody(report);
    } catch (const std::exception &) {
        return;
    }
    CloudSession *session = &m_session;
    QMetaObject::invokeMethod(
        session,
        [session, request] {
            // Nothing waits for the answer: a report is sent once.
            QCoro::connect(post(session, request), QCoreApplication::instance(), [] {});
        },
        Qt::QueuedConnection);
}
