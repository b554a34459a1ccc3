#include "Core/History/HistoryStore.h"

#include "Base/BoundedFile.h"
#include "Base/Clock.h"
#include "Base/Json.h"
#include "Base/Paths.h"
#include "Core/AppSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <exception>
#include <utility>

namespace {

constexpr qint64 secondsPerDay = 86400;
// Longer than any date the history can hold (years 1...9999): nothing expires.
constexpr qint64 longestRetentionDays = 3660000;

} // namespace

HistoryStore &HistoryStore::shared()
{
    // Never destroyed: observers may still hold on to it while the process winds down.
    static HistoryStore *const store = new HistoryStore(
        Paths::supportFolder(QStringLiteral("Sonorvelle")) + QStringLiteral("/history.json"),
        Clock::system(), [] { return AppSettings::shared().historyRetentionDays(); });
    return *store;
}

HistoryStore::HistoryStore(const QString &fileURL, Clock &clock,
                           std::function<qint64()> retentionDays, QObject *parent)
    : QObject(parent)
    , m_fileURL(fileURL)
    , m_clock(clock)
    , m_retentionDays(std::move(retentionDays))
{
    // A folder that cannot be made shows up as a failed save later, which is ignored.
    QDir().mkpath(QFileInfo(m_fileURL).absolutePath());
    load();
    pruneExpired();
}

HistoryStore::~HistoryStore() = default;

void HistoryStore::add(const TranscriptRecord &record)
{
    QList<TranscriptRecord> records = m_records;
    records.prepend(record);
    if (records.size() > maxRecords) {
        records.resize(maxRecords);
    }
    replaceRecords(std::move(records));
    save();
}

void HistoryStore::deleteRecord(const QUuid &id)
{
    QList<TranscriptRecord> records = m_records;
    records.removeIf([&id](const TranscriptRecord &record) { return record.id == id; });
    replaceRecords(std::move(records));
    save();
}

void HistoryStore::clear()
{
    replaceRecords({});
    save();
}

void HistoryStore::pruneExpired()
{
    const qint64 days = m_retentionDays ? m_retentionDays() : 0;
    if (days < 1 || days > longestRetentionDays) {
        return;
    }
    const QDateTime cutoff = m_clock.now().addSecs(-days * secondsPerDay);
    QList<TranscriptRecord> kept;
    kept.reserve(m_records.size());
    for (const TranscriptRecord &record : std::as_const(m_records)) {
        if (record.date >= cutoff) {
            kept.append(record);
        }
    }
    if (kept.size() == m_records.size()) {
        return;
    }
    replaceRecords(std::move(kept));
    save();
}

void HistoryStore::load()
{
    const BoundedFile::Result file = BoundedFile::read(m_fileURL, maxFileBytes);
    if (file.status == BoundedFile::Status::missing) {
        return;
    }
    if (!file.isRead()) {
        m_mustSetAside = true;
        return;
    }
    const QByteArray &bytes = file.bytes;
    if (bytes.trimmed().isEmpty()) {
        return; // nothing in it worth keeping
    }

    Json::Object document;
    try {
        document = Json::parse(bytes);
    } catch (const Json::DecodeError &) {
        m_mustSetAside = true;
        return;
    }
    if (!document.is_array()) {
        m_mustSetAside = true;
        return;
    }
    QList<TranscriptRecord> records;
    records.reserve(qsizetype(document.size()));
    for (const Json::Object &item : document) {
        try {
            records.append(TranscriptRecord::fromJson(item, Json::DateEncoding::Iso8601));
        } catch (const std::exception &) {
            // One bad entry must not cost the others; the file as found is kept aside.
            m_mustSetAside = true;
        }
    }
    m_records = std::move(records);
}

void HistoryStore::save()
{
    if (m_writeBlocked) {
        return;
    }
    Json::Object array = Json::Object::array();
    for (const TranscriptRecord &record : std::as_const(m_records)) {
        try {
            array.push_back(record.toJson(Json::DateEncoding::Iso8601));
        } catch (const Json::EncodeError &) {
            // Written, it would make the whole file unreadable; it stays in memory only.
        }
    }
    const QByteArray data = Json::serialize(array);

    if (m_mustSetAside) {
        if (!setAsideUnreadableFile()) {
            m_writeBlocked = true;
            return;
        }
        m_mustSetAside = false;
    }
    QSaveFile file(m_fileURL);
    if (!file.open(QIODevice::WriteOnly)) {
        return;
    }
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return;
    }
    file.commit();
}

bool HistoryStore::setAsideUnreadableFile()
{
    return Paths::setAsideUnreadable(m_fileURL, m_clock.now());
}

void HistoryStore::replaceRecords(QList<TranscriptRecord> records)
{
    if (records == m_records) {
        return;
    }
    m_records = std::move(records);
    Q_EMIT recordsChanged();
}
