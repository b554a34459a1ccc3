#pragma once

#include "UI/Settings/SettingsOption.h"

#include <QAbstractListModel>
#include <QDateTime>
#include <QLocale>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <iterator>

class AppSettings;
class HistoryStore;
class L10n;
class Pasteboard;
struct TranscriptRecord;

// The History tab: the kept dictations as a list model (one row per record, newest first, as the
// store keeps them), the retention choices, and the row actions. The rows follow the store live.
// The switch binds straight to the settings object, reached through `settings`. Main thread.
class HistoryTabModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the window")
    Q_PROPERTY(QObject *settings READ settingsObject CONSTANT)
    Q_PROPERTY(QVariantList retentionOptions READ retentionOptionList NOTIFY textsChanged)
    Q_PROPERTY(int retentionIndex READ retentionIndex NOTIFY retentionChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role {
        RecordIdRole = Qt::UserRole + 1,
        DateTextRole,
        AppNameRole,
        FirstLineRole,
    };

    // The retention periods offered, in days, in menu order; 0 keeps records for ever.
    static constexpr qint64 retentionDays[] = {1, 7, 30, 0};
    // A row shows at most this many characters of its first line: the view cuts the line to one
    // row anyway, and laying out a megabyte of text would stall the window.
    static constexpr qsizetype maxLineLength = 400;

    HistoryTabModel(AppSettings &settings, HistoryStore &store, L10n &l10n, Pasteboard *pasteboard,
                    QObject *parent = nullptr);

    static QList<SettingsOption> retentionOptions(const L10n &l10n);
    // The first non-empty line of `text`; the text itself when it has none.
    static QString firstLine(const QString &text);
    // Short date and short time in `locale`, in local time.
    static QString dateText(const QDateTime &date, const QLocale &locale = QLocale());
    // What Copy puts on the clipboard: the cleaned text, or the raw transcript when the cleaned
    // text is empty, so that a copy never empties the clipboard of a record that has words.
    static QString copyText(const TranscriptRecord &record);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    QObject *settingsObject() const;
    QVariantList retentionOptionList() const;
    // A stored period off the list shows an empty pill.
    int retentionIndex() const;
    int count() const;

    // Stores the chosen period and prunes at once, also when it is the current one.
    Q_INVOKABLE void chooseRetention(int index);
    // Each takes a row; a row that no longer exists changes nothing.
    Q_INVOKABLE void copyRecord(int row);
    Q_INVOKABLE void deleteRecord(int row);
    Q_INVOKABLE void deleteAll();

Q_SIGNALS:
    void textsChanged();
    void retentionChanged();
    void countChanged();

private:
    AppSettings &m_settings;
    HistoryStore &m_store;
    L10n &m_l10n;
    Pasteboard *m_pasteboard;
};
