#pragma once

#include "Base/CancellationToken.h"
#include "Base/Json.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>
#include <utility>

class NetTrace;

// One request to the cloud service, as every cloud client builds it: the method, the address, the
// headers, the raw body and the time-out, plus the bounds the request layer keeps. CloudSession
// performs it.
//
// The address is normally an API endpoint of the session's base address (CloudSession::request
// makes one with the default time-out); the helpers add the bearer token and a JSON body the way
// every client sends them.
struct CloudRequest
{
    // Every request waits this long for the service unless its client sets another value. The
    // time-out is the longest pause in the transfer (nothing sent or received), not a total.
    static constexpr std::chrono::milliseconds defaultTimeout {60000};
    // Replies longer than this are cut off as a transfer error: no endpoint answers with more,
    // and a runaway reply must not fill the memory.
    static constexpr qint64 defaultMaxReplyBytes = 16 * 1024 * 1024;

    QByteArray method = "GET";
    QUrl url;
    // Names as sent; a later header of the same name adds another line.
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    std::chrono::milliseconds timeout = defaultTimeout;
    qint64 maxReplyBytes = defaultMaxReplyBytes;
    // When set, collects the connection timings of this request (it must outlive the transfer).
    NetTrace *trace = nullptr;
    // The work this request belongs to. Once it is cancelled the request is not sent, or its
    // transfer is aborted and its connection closed, and the reply says `cancelled`: nothing of a
    // cancelled dictation goes on travelling to the service.
    std::optional<CancellationToken> cancellation;

    // Replaces any header of that name (case-insensitive).
    void setHeader(const QByteArray &name, const QByteArray &value);
    std::optional<QByteArray> header(const QByteArray &name) const;

    // "Authorization: Bearer <token>".
    void setBearer(const QString &token);
    // The compact serialisation of `object` as the body, with "Content-Type: application/json".
    void setJsonBody(const Json::Object &object);
};
