#pragma once

#include "Core/CloudReply.h"

#include <stdexcept>

// A cloud request that got no complete answer, raised by the clients that report failures as
// exceptions. The kind says why; the message carries the network layer's words.
class CloudTransferError : public std::runtime_error
{
public:
    CloudTransferError(CloudReply::TransferError kind, const QString &text)
        : std::runtime_error(
            (CloudReply::describe(kind) + QStringLiteral(": ") + text).toStdString())
        , m_kind(kind)
    { }

    CloudReply::TransferError kind() const { return m_kind; }

private:
    CloudReply::TransferError m_kind;
};
