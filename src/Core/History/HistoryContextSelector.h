#pragma once

#include "Core/Models/TranscriptRecord.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Picks the user's recent dictations into the same window as context for the cloud rewrite.
namespace HistoryContextSelector {

// Records older than this end the walk through the history (seconds).
constexpr double maxAge = 1800;
// Without a usable window title, a record of the same application counts when it is at most this
// old (seconds).
constexpr double sameApplicationAge = 300;
// A record's window title belongs to the current window from this TitleSimilarity score on.
constexpr double minTitleScore = 0.5;
// Each text is cut to this many characters; the texts together stay within totalLength.
constexpr qsizetype textLength = 300;
constexpr qsizetype totalLength = 800;
constexpr qsizetype maxTexts = 5;

// The cleaned texts of the inserted records of the application `bundleID` that belong to the
// current window, newest records considered first, returned oldest first. `records` is the history,
// newest first. Lengths count user-perceived characters. Empty without a bundle identifier.
QStringList select(const std::optional<QString> &bundleID,
                   const std::optional<QString> &windowTitle, const std::optional<QString> &appName,
                   const QList<TranscriptRecord> &records, const QDateTime &now);

} // namespace HistoryContextSelector
