#pragma once

#include "Base/Json.h"
#include "Platform/CrashDiagnostic.h"

#include <QList>

class CloudSession;
class CrashDiagnosticSource;
class UserDefaults;

// Reports the application's crashes to the service's "/api/crash", one request per crash, while
// the user allows it (the user default "crashReportingEnabled"). The crashes themselves are
// collected by a CrashDiagnosticSource; a report is sent once, without a token, and its answer is
// not read: it is never kept or tried again.
//
// didReceive() may be called from any thread; the requests go out on the session's thread. Every
// failure is silent.
class CrashReporter final
{
public:
    CrashReporter(CloudSession &session, UserDefaults &defaults);

    // The process-wide reporter on the shared cloud session and the standard user defaults, made
    // at first use and never released.
    static CrashReporter &shared();

    // At launch: reports the crashes the source kept from earlier runs, then has it collect this
    // run's. Main thread, once.
    void start(CrashDiagnosticSource &source);

    // Reports each crash in order; nothing at all while reporting is off.
    void didReceive(const QList<CrashDiagnostic> &diagnostics);

    // The request body for one crash.
    Json::Object report(const CrashDiagnostic &diagnostic) const;

private:
    void send(const Json::Object &report);

    CloudSession &m_session;
    UserDefaults &m_defaults;
};
