#pragma once

#include "Platform/CrashDiagnosticSource.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Crash diagnostics from our own handler of the fatal signals (SIGSEGV, SIGBUS, SIGILL, SIGFPE,
// SIGABRT), since Linux collects none for an application.
//
// collect() prepares everything the handler needs while the process is still sound: the report's
// fixed lines (this build's version, the system, the processor), an open file
// "crash-report.partial" in the folder, an alternate stack (a stack overflow leaves no room on the
// thread's own) and a first call of backtrace() (which loads its library). The handler then uses
// async-signal-safe calls only: it writes the signal, the return addresses of the crashing thread
// and their symbols to that file, renames it to "crash-report.pending", and lets the signal end
// the process as it would have without us. takePending() at the next launch reads that report,
// deletes it whatever it holds, and hands over what it could read. Anything but a file in a
// report's place (a folder, a device, a pipe) is neither read nor waited for: it is renamed aside
// as "<name>.unreadable-<UTC time>", so that the next crash has its place.
class SignalCrashDiagnosticSource final : public CrashDiagnosticSource
{
public:
    // The deepest call stack kept.
    static constexpr int maxFrames = 128;
    // A report is a few kilobytes; a file larger than this is read no further.
    static constexpr qint64 maxReportBytes = 256 * 1024;

    // The report files live in `folder`, which is created when missing.
    explicit SignalCrashDiagnosticSource(QString folder);

    // The application's data folder.
    static QString defaultFolder();

    // Installs the handler for the rest of the process; the first call only.
    void collect() override;
    // The report of the last crash, at most one; empty when there is none or it is unreadable.
    QList<CrashDiagnostic> takePending() override;

    // The diagnostic in a report as the handler writes it; nothing when the report is empty, is
    // not one of ours, or was cut short before its signal. A report cut short later keeps the
    // frames it holds.
    static std::optional<CrashDiagnostic> parse(const QByteArray &report);

    QString partialPath() const;
    QString pendingPath() const;

private:
    QString m_folder;
};
