#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <ostream>

// Readable failure messages for Qt values in GoogleTest assertions (found by argument-dependent
// lookup). The build force-includes this header into every test file.
inline void PrintTo(const QString &value, std::ostream *os)
{
    *os << '"' << value.toStdString() << '"';
}

inline void PrintTo(const QStringList &value, std::ostream *os)
{
    *os << '[';
    for (qsizetype i = 0; i < value.size(); ++i) {
        *os << (i ? ", " : "") << '"' << value[i].toStdString() << '"';
    }
    *os << ']';
}

inline void PrintTo(const QByteArray &value, std::ostream *os)
{
    *os << "QByteArray(" << value.size() << " bytes: " << value.toHex(' ').toStdString() << ')';
}

inline void PrintTo(const QDateTime &value, std::ostream *os)
{
    *os << value.toString(Qt::ISODateWithMs).toStdString();
}

inline void PrintTo(const QVariant &value, std::ostream *os)
{
    *os << "QVariant(" << value.typeName() << ": " << value.toString().toStdString() << ')';
}
