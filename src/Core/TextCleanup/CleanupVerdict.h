#pragma once

#include <QString>

// The fidelity guard's verdict on a model's text.
struct CleanupVerdict
{
    enum class Kind {
        accept, // keep the model's text
        warn, // keep the model's text and log the reason
        reject, // discard it and fall back to the rule-based cleanup of the original
    };

    Kind kind = Kind::accept;
    // Why the text was warned about or rejected; empty for accept.
    QString reason;

    static CleanupVerdict accept() { return {Kind::accept, QString()}; }
    static CleanupVerdict warn(const QString &reason) { return {Kind::warn, reason}; }
    static CleanupVerdict reject(const QString &reason) { return {Kind::reject, reason}; }

    friend bool operator==(const CleanupVerdict &, const CleanupVerdict &) = default;
};
