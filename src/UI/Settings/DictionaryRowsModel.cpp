#include "UI/Settings/DictionaryRowsModel.h"

#include <QMultiHash>
#include <QSet>

DictionaryRowsModel::DictionaryRowsModel(QObject *parent)
    : QAbstractListModel(parent)
{ }

int DictionaryRowsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant DictionaryRowsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= m_rows.size()) {
        return {};
    }
    const Row &row = m_rows.at(index.row());
    switch (role) {
    case KeyRole:
        return row.key;
    case TextRole:
        return row.text;
    case ExpansionRole:
        return row.expansion;
    case EnabledRole:
        return row.isEnabled;
    default:
        return {};
    }
}

QHash<int, QByteArray> DictionaryRowsModel::roleNames() const
{
    return {{KeyRole, "rowKey"},
            {TextRole, "text"},
            {ExpansionRole, "expansion"},
            {EnabledRole, "isEnabled"}};
}

std::optional<int> DictionaryRowsModel::position(int key) const
{
    for (int i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).key == key) {
            return i;
        }
    }
    return std::nullopt;
}

void DictionaryRowsModel::append(Row row)
{
    const int at = count();
    beginInsertRows({}, at, at);
    m_rows.append(std::move(row));
    endInsertRows();
    Q_EMIT countChanged();
}

void DictionaryRowsModel::update(int position, Row row)
{
    if (position < 0 || position >= m_rows.size() || m_rows.at(position) == row) {
        return;
    }
    m_rows[position] = std::move(row);
    Q_EMIT dataChanged(index(position), index(position));
}

void DictionaryRowsModel::remove(int position)
{
    if (position < 0 || position >= m_rows.size()) {
        return;
    }
    beginRemoveRows({}, position, position);
    m_rows.removeAt(position);
    endRemoveRows();
    Q_EMIT countChanged();
}

void DictionaryRowsModel::replace(QList<Row> rows)
{
    const int before = count();
    QSet<int> staying;
    for (const Row &row : rows) {
        staying.insert(row.key);
    }
    for (int i = count() - 1; i >= 0; --i) {
        if (!staying.contains(m_rows.at(i).key)) {
            beginRemoveRows({}, i, i);
            m_rows.removeAt(i);
            endRemoveRows();
        }
    }
    // The staying rows must come in the new order; when they do not, the list starts afresh.
    QList<int> kept;
    for (const Row &row : rows) {
        if (position(row.key)) {
            kept.append(row.key);
        }
    }
    bool inOrder = kept.size() == m_rows.size();
    for (int i = 0; inOrder && i < kept.size(); ++i) {
        inOrder = m_rows.at(i).key == kept.at(i);
    }
    if (!inOrder) {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    } else {
        for (int i = 0; i < rows.size(); ++i) {
            if (i < m_rows.size() && m_rows.at(i).key == rows.at(i).key) {
                update(i, rows.at(i));
            } else {
                beginInsertRows({}, i, i);
                m_rows.insert(i, rows.at(i));
                endInsertRows();
            }
        }
    }
    if (count() != before) {
        Q_EMIT countChanged();
    }
}

void DictionaryRowsModel::follow(QList<Row> rows,
                                 const std::function<QString(const Row &)> &identity)
{
    QMultiHash<QString, int> free;
    // The hash hands out the latest insertion first: the first row of an identity goes in last.
    for (auto it = m_rows.crbegin(); it != m_rows.crend(); ++it) {
        free.insert(identity(*it), it->key);
    }
    for (Row &row : rows) {
        const auto found = free.find(identity(row));
        if (found != free.end()) {
            row.key = found.value();
            free.erase(found);
        } else {
            row.key = nextKey();
        }
    }
    replace(std::move(rows));
}
