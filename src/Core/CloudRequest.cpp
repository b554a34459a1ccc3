#include "Core/CloudRequest.h"

#include <algorithm>

void CloudRequest::setHeader(const QByteArray &name, const QByteArray &value)
{
    headers.removeIf(
        [&](const auto &header) { return header.first.compare(name, Qt::CaseInsensitive) == 0; });
    headers.append({name, value});
}

std::optional<QByteArray> CloudRequest::header(const QByteArray &name) const
{
    const auto found = std::find_if(headers.begin(), headers.end(), [&](const auto &header) {
        return header.first.compare(name, Qt::CaseInsensitive) == 0;
    });
    if (found == headers.end()) {
        return std::nullopt;
    }
    return found->second;
}

void CloudRequest::setBearer(const QString &token)
{
    setHeader("Authorization", "Bearer " + token.toUtf8());
}

void CloudRequest::setJsonBody(const Json::Object &object)
{
    setHeader("Content-Type", "application/json");
    body = Json::serialize(object);
}
