#include "Core/CloudReply.h"

#include <algorithm>

std::optional<QByteArray> CloudReply::header(const QByteArray &name) const
{
    const auto found = std::find_if(headers.begin(), headers.end(), [&](const auto &header) {
        return header.first.compare(name, Qt::CaseInsensitive) == 0;
    });
    if (found == headers.end()) {
        return std::nullopt;
    }
    return found->second;
}

QString CloudReply::serverTimingSummary() const
{
    QString timing = QString::fromUtf8(header("Server-Timing").value_or(QByteArray()));
    if (timing.isEmpty()) {
        return QStringLiteral("srv[-]");
    }
    return QStringLiteral("srv[") + timing.replace(QStringLiteral(";dur="), QStringLiteral("="))
        + QLatin1Char(']');
}

QString CloudReply::describe(TransferError error)
{
    switch (error) {
    case TransferError::none:
        return QStringLiteral("none");
    case TransferError::timedOut:
        return QStringLiteral("timed out");
    case TransferError::connectionFailed:
        return QStringLiteral("connection failed");
    case TransferError::tooLarge:
        return QStringLiteral("reply too large");
    case TransferError::cancelled:
        return QStringLiteral("cancelled");
    case TransferError::other:
        return QStringLiteral("transfer failed");
    }
    return QStringLiteral("transfer failed");
}
