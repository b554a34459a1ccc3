#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QTimeZone>

#include <optional>

// Today's use of the cloud AI quota, as the usage query ("cleanup/usage") answers it, and the
// rules by which the Account tab shows it: the two fractions, the percentage, the meter's fill and
// the reset line.
//
// Decoding is strict: every key is required and must hold exactly its JSON type ("tier" and
// "resetAt" texts, "used" and "limit" integers that fit a signed 64-bit integer); a missing key, a
// null, a text, a fractional number or a number out of range fails the whole body. Keys that are
// not known are ignored.
struct CleanupUsage
{
    struct Pair
    {
        qint64 used = 0;
        qint64 limit = 0;

        friend bool operator==(const Pair &, const Pair &) = default;
    };

    // The account's tier; decoded, never shown.
    QString tier;
    // Cloud AI requests used today and allowed per day.
    Pair requests;
    // The processing cost used today and allowed per day; only their ratio is ever shown.
    Pair costMicros;
    // When the daily counters are reset, as the service wrote it.
    QString resetAt;

    friend bool operator==(const CleanupUsage &, const CleanupUsage &) = default;

    // The body of a reply; nothing when it is not exactly the record above.
    static std::optional<CleanupUsage> decode(const QByteArray &body);

    // A meter's fraction: used ÷ limit, or 0 when the limit is below 1. Not clamped: a use over the
    // limit shows as more than 1 for the warning colour.
    static double fraction(const Pair &pair);
    // From this fraction on, a meter is drawn in the warning colour.
    static constexpr double warnFraction = 0.8;
    static bool warns(double fraction) { return fraction >= warnFraction; }
    // The cost as a whole percentage, halves rounded away from zero. A cost so far over its limit
    // that the percentage leaves the signed 64-bit range is held at the range's end rather than
    // overflowing.
    static qint64 percentage(double fraction);
    // "12 / 200": plain decimal, no grouping, a "-" for a negative number.
    static QString requestsDetail(const Pair &pair);
    // "13%".
    static QString percentageDetail(qint64 percentage);
    // The width of a meter's fill on a bar `barWidth` wide: the fraction of the bar (never more
    // than all of it), but at least 4 whenever something was used, so a small use still shows.
    static double fillWidth(double fraction, double barWidth);

    // `resetAt` as a short local time without a date ("9:00 AM"), when it is an internet
    // date-time in whole seconds ("Z" or a ±hh:mm offset); otherwise nothing.
    std::optional<QString> localResetTime() const;
    std::optional<QString> localResetTime(const QLocale &locale, const QTimeZone &zone) const;
};
