#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>
#include <QUuid>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <optional>

// The rows of one list of the Dictionary tab, each with a key of its own that lives as long as the
// row. The view sends every edit and delete with the row's key rather than its position, so that a
// list replaced under an open field (a sync from another computer) can never receive a keystroke
// meant for another row: the keys of rows that went are never used again.
//
// The terms list uses `text` only; a replacement row carries its rule's `id` and all its fields.
class DictionaryRowsModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the window")
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role {
        KeyRole = Qt::UserRole + 1,
        TextRole,
        ExpansionRole,
        EnabledRole,
    };

    struct Row
    {
        int key = 0;
        QUuid id;
        QString text;
        QString expansion;
        bool isEnabled = true;

        friend bool operator==(const Row &, const Row &) = default;
    };

    explicit DictionaryRowsModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int count() const { return int(m_rows.size()); }
    const QList<Row> &rows() const { return m_rows; }
    // A key no row ever had.
    int nextKey() { return ++m_lastKey; }
    // The position of the row with that key, if it is still listed.
    std::optional<int> position(int key) const;

    void append(Row row);
    // Changes the row in place; the key stays.
    void update(int position, Row row);
    void remove(int position);
    // Puts `rows` in place with as few changes as it takes: rows whose key stays keep their
    // delegates (and the focus of a field in them) when the order of the staying rows is kept.
    void replace(QList<Row> rows);
    // Puts in place rows whose keys are not set yet: each takes the key of the first listed row of
    // the same identity not yet taken, or a new one, so that a row still listed keeps its key.
    void follow(QList<Row> rows, const std::function<QString(const Row &)> &identity);

Q_SIGNALS:
    void countChanged();

private:
    QList<Row> m_rows;
    int m_lastKey = 0;
};
