#include "UI/Settings/HistoryTabModel.h"

#include "Core/AppSettings.h"
#include "Core/History/HistoryStore.h"
#include "Platform/Pasteboard.h"
#include "Support/L10n.h"

HistoryTabModel::HistoryTabModel(AppSettings &settings, HistoryStore &store, L10n &l10n,
                                 Pasteboard *pasteboard, QObject *parent)
    : QAbstractListModel(parent)
    , m_settings(settings)
    , m_store(store)
    , m_l10n(l10n)
    , m_pasteboard(pasteboard)
{
    connect(&m_l10n, &L10n::languageChanged, this, [this] {
        Q_EMIT textsChanged();
        // The rows name unknown applications in the interface language.
        if (!m_store.records().isEmpty()) {
            Q_EMIT dataChanged(index(0), index(rowCount() - 1), {AppNameRole});
        }
    });
    connect(&m_settings, &AppSettings::historyRetentionDaysChanged, this,
            &HistoryTabModel::retentionChanged);
    connect(&m_store, &HistoryStore::recordsChanged, this, [this] {
        // Every change of the store replaces its list; the view keeps only the rows it shows.
        beginResetModel();
        endResetModel();
        Q_EMIT countChanged();
    });
}

QList<SettingsOption> HistoryTabModel::retentionOptions(const L10n &l10n)
{
    return {{QStringLiteral("1"), l10n.string(QStringLiteral("retention.1day"))},
            {QStringLiteral("7"), l10n.string(QStringLiteral("retention.7days"))},
            {QStringLiteral("30"), l10n.string(QStringLiteral("retention.30days"))},
            {QStringLiteral("0"), l10n.string(QStringLiteral("retention.forever"))}};
}

QString HistoryTabModel::firstLine(const QString &text)
{
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0) {
            end = text.size();
        }
        if (end > start) {
            return text.mid(start, end - start);
        }
        start = end + 1;
    }
    return text;
}

QString HistoryTabModel::dateText(const QDateTime &date, const QLocale &locale)
{
    return locale.toString(date.toLocalTime(), QLocale::ShortFormat);
}

QString HistoryTabModel::copyText(const TranscriptRecord &record)
{
    return record.cleanedText.isEmpty() ? record.rawText : record.cleanedText;
}

int HistoryTabModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_store.records().size());
}

QVariant HistoryTabModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= m_store.records().size()) {
        return {};
    }
    const TranscriptRecord &record = m_store.records().at(index.row());
    switch (role) {
    case RecordIdRole:
        return record.id.toString(QUuid::WithoutBraces);
    case DateTextRole:
        return dateText(record.date);
    case AppNameRole:
        return record.appName.value_or(m_l10n.string(QStringLiteral("hist.unknownApp")));
    case FirstLineRole:
        return firstLine(record.cleanedText).left(maxLineLength);
    default:
        return {};
    }
}

QHash<int, QByteArray> HistoryTabModel::roleNames() const
{
    return {{RecordIdRole, "recordId"},
            {DateTextRole, "dateText"},
            {AppNameRole, "appName"},
            {FirstLineRole, "firstLine"}};
}

QObject *HistoryTabModel::settingsObject() const
{
    return &m_settings;
}

QVariantList HistoryTabModel::retentionOptionList() const
{
    return SettingsOption::toVariant(retentionOptions(m_l10n));
}

int HistoryTabModel::retentionIndex() const
{
    return SettingsOption::indexOf(retentionOptions(m_l10n),
                                   QString::number(m_settings.historyRetentionDays()));
}

int HistoryTabModel::count() const
{
    return rowCount();
}

void HistoryTabModel::chooseRetention(int index)
{
    if (index < 0 || index >= static_cast<int>(std::size(retentionDays))) {
        return;
    }
    m_settings.setHistoryRetentionDays(retentionDays[index]);
    m_store.pruneExpired();
}

void HistoryTabModel::copyRecord(int row)
{
    if (row < 0 || row >= m_store.records().size() || !m_pasteboard) {
        return;
    }
    const QString text = copyText(m_store.records().at(row));
    m_pasteboard->clearContents();
    m_pasteboard->writeItems({{{Pasteboard::plainTextType, text.toUtf8()}}});
}

void HistoryTabModel::deleteRecord(int row)
{
    if (row < 0 || row >= m_store.records().size()) {
        return;
    }
    m_store.deleteRecord(m_store.records().at(row).id);
}

void HistoryTabModel::deleteAll()
{
    m_store.clear();
}
