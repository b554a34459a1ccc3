#include "Core/History/HistoryContextSelector.h"

#include "Base/Unicode.h"
#include "Core/History/TitleSimilarity.h"

#include <algorithm>

namespace {

bool hasDistinctiveTokens(const QString &title, const std::optional<QString> &appName)
{
    return !TitleSimilarity::tokens(title)
                .subtract(TitleSimilarity::tokens(appName.value_or(QString())))
                .isEmpty();
}

} // namespace

namespace HistoryContextSelector {

QStringList select(const std::optional<QString> &bundleID,
                   const std::optional<QString> &windowTitle, const std::optional<QString> &appName,
                   const QList<TranscriptRecord> &records, const QDateTime &now)
{
    if (!bundleID || bundleID->isEmpty()) {
        return {};
    }
    const bool currentTitleUsable = windowTitle && hasDistinctiveTokens(*windowTitle, appName);

    QStringList picked;
    qsizetype total = 0;
    for (const TranscriptRecord &record : records) {
        const double age = double(record.date.msecsTo(now)) / 1000.0;
        if (age > maxAge) {
            break;
        }
        if (!record.inserted || record.bundleID != bundleID) {
            continue;
        }
        bool sameWindow;
        if (currentTitleUsable && record.windowTitle
            && hasDistinctiveTokens(*record.windowTitle, record.appName)) {
            sameWindow = TitleSimilarity::score(*windowTitle, *record.windowTitle, record.appName)
                >= minTitleScore;
        } else {
            sameWindow = age <= sameApplicationAge;
        }
        if (!sameWindow) {
            continue;
        }
        const QString text = Unicode::graphemePrefix(record.cleanedText, textLength);
        if (text.isEmpty()) {
            continue;
        }
        const qsizetype length = Unicode::graphemeCount(text);
        if (total + length > totalLength) {
            break;
        }
        picked.append(text);
        total += length;
        if (picked.size() == maxTexts) {
            break;
        }
    }
    std::reverse(picked.begin(), picked.end());
    return picked;
}

} // namespace HistoryContextSelector
