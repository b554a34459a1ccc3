#include "Platform/Appcast/VersionComparator.h"

#include <QList>

namespace {

enum class Kind { number, text, separator };

struct Part
{
    Kind kind;
    QString text;
};

Kind kindOf(QChar c)
{
    if (c.isDigit() && c.unicode() < 0x80) {
        return Kind::number;
    }
    if (c == QLatin1Char('.') || c.isSpace()) {
        return Kind::separator;
    }
    return Kind::text;
}

QList<Part> split(const QString &version)
{
    QList<Part> parts;
    for (QChar c : version) {
        const Kind kind = kindOf(c);
        if (!parts.isEmpty() && parts.last().kind == kind && kind != Kind::separator) {
            parts.last().text += c;
        } else {
            parts.append({kind, QString(c)});
        }
    }
    return parts;
}

// Numbers of any length, by value.
int compareNumbers(QString a, QString b)
{
    auto stripZeros = [](QString &digits) {
        qsizetype zeros = 0;
        while (zeros + 1 < digits.size() && digits.at(zeros) == QLatin1Char('0')) {
            ++zeros;
        }
        digits.remove(0, zeros);
    };
    stripZeros(a);
    stripZeros(b);
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    return a.compare(b);
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

// Whether the parts from `from` on are only separators and zeros ("1.0" against "1.0.0").
bool onlyZerosFrom(const QList<Part> &parts, qsizetype from)
{
    for (qsizetype i = from; i < parts.size(); ++i) {
        const Part &part = parts.at(i);
        if (part.kind == Kind::text) {
            return false;
        }
        if (part.kind == Kind::number && compareNumbers(part.text, QStringLiteral("0")) != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

namespace VersionComparator {

int compare(const QString &a, const QString &b)
{
    const QList<Part> partsA = split(a);
    const QList<Part> partsB = split(b);
    const qsizetype common = qMin(partsA.size(), partsB.size());
    for (qsizetype i = 0; i < common; ++i) {
        const Part &partA = partsA.at(i);
        const Part &partB = partsB.at(i);
        if (partA.kind == partB.kind) {
            int order = 0;
            if (partA.kind == Kind::number) {
                order = compareNumbers(partA.text, partB.text);
            } else if (partA.kind == Kind::text) {
                order = partA.text.compare(partB.text);
            }
            if (order != 0) {
                return sign(order);
            }
            continue;
        }
        if (partA.kind == Kind::text || partB.kind == Kind::text) {
            return partA.kind == Kind::text ? -1 : 1;
        }
        // A number against a separator: the number wins.
        return partA.kind == Kind::number ? 1 : -1;
    }
    if (partsA.size() == partsB.size()) {
        return 0;
    }
    const bool aLonger = partsA.size() > partsB.size();
    const QList<Part> &longer = aLonger ? partsA : partsB;
    if (onlyZerosFrom(longer, common)) {
        return 0;
    }
    const int longerIsNewer = longer.at(common).kind == Kind::text ? -1 : 1;
    return aLonger ? longerIsNewer : -longerIsNewer;
}

} // namespace VersionComparator
