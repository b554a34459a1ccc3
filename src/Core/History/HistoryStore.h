#pragma once

#include "Core/Models/TranscriptRecord.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>

class Clock;

// The dictation history: one TranscriptRecord per completed dictation, newest first, at most
// maxRecords, kept in one JSON file ("history.json" in the "Sonorvelle" support folder).
//
// The file is read once, when the store is made; afterwards the list in memory is the truth and
// every change rewrites the whole file atomically (compact JSON array, dates as ISO 8601 in whole
// seconds). No operation reports an error: a file that cannot be written leaves the history in
// memory only.
//
// Reading never throws history away:
// - a record that cannot be decoded is skipped and the others are kept;
// - a file that cannot be read at all (not JSON, not an array, an I/O error, larger than
//   maxFileBytes, or not a regular file: a folder, a device, a pipe) gives an empty list;
// in both cases the file as found is moved aside (renamed to "history.json.unreadable-<UTC time>",
// never over an existing file) before the first save replaces it. When it cannot be moved aside,
// nothing is written over it and the history stays in memory for the rest of the run.
// Likewise a record that has no JSON form (an invalid date, a duration that is not finite) is left
// out of the file rather than costing every save.
//
// Main thread only; `records` notifies its observers there.
class HistoryStore : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<TranscriptRecord> records READ records NOTIFY recordsChanged)

public:
    static constexpr qsizetype maxRecords = 500;
    // The largest file read: maxRecords of the longest dictations, each with its raw and cleaned
    // text in any script, stay well below it.
    static constexpr qint64 maxFileBytes = 64 * 1024 * 1024;

    // The process-wide store on "history.json" in the "Sonorvelle" support folder, taking the
    // retention period from AppSettings::shared(); made at the first call.
    static HistoryStore &shared();

    // Creates the file's folder when missing, reads `fileURL` (a missing file is an empty
    // history), then prunes expired records.
    // `retentionDays` is asked at every prune; a value below 1 keeps records for ever.
    HistoryStore(const QString &fileURL, Clock &clock, std::function<qint64()> retentionDays,
                 QObject *parent = nullptr);
    ~HistoryStore() override;

    // Newest first.
    const QList<TranscriptRecord> &records() const { return m_records; }
    QString fileURL() const { return m_fileURL; }

    // Inserts at the front, drops the oldest beyond maxRecords, saves.
    void add(const TranscriptRecord &record);
    // Removes every record with this identifier, keeping the order of the rest; saves, also when
    // nothing was removed.
    void deleteRecord(const QUuid &id);
    // Empties the history and saves.
    void clear();
    // Drops the records dated before now minus the retention period (a record exactly at the
    // boundary stays); saves only when something was dropped.
    void pruneExpired();

Q_SIGNALS:
    void recordsChanged();

private:
    void load();
    void save();
    bool setAsideUnreadableFile();
    void replaceRecords(QList<TranscriptRecord> records);

    QString m_fileURL;
    Clock &m_clock;
    std::function<qint64()> m_retentionDays;
    QList<TranscriptRecord> m_records;
    // The file on disk holds data that was not loaded; it must be moved aside before a save.
    bool m_mustSetAside = false;
    // Moving it aside failed: never write over it.
    bool m_writeBlocked = false;
};
