#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What the application learned about one crash of an earlier run: the system it ran on, how it
// ended, and its call stack.
struct CrashDiagnostic
{
    // The operating system's version and the processor architecture of the run that crashed.
    QString osVersion;
    QString platformArchitecture;
    // The call stack of the crashing thread as a JSON document (UTF-8 bytes).
    QByteArray callStackTree;
    // The fatal signal, when one ended the run.
    std::optional<int> signal;
    std::optional<int> exceptionType;
    std::optional<int> exceptionCode;
    std::optional<QString> terminationReason;
};
