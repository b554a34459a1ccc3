#pragma once

#include <QString>

// The application's one diagnostic log: time-stamped lines in "tester.log" inside the per-bundle
// support folder, with one older generation in "tester.log.1".
//
// Always on: every call writes its line. Each line is the UTC time of the call with milliseconds
// ("2024-05-01T09:30:00.123Z"), a blank, the message as given and a line feed. Lines are written
// from a serial queue of the log's own, so a caller never waits for the disk. No error of the log
// reaches a caller; at worst a line is lost.
class DebugLog
{
public:
    // The default size above which "tester.log" is rotated before the next append; a file of
    // exactly this size is kept.
    static constexpr qint64 rotationThreshold = 524288;
    // How many user-perceived characters tail() returns at most.
    static constexpr qsizetype tailLength = 262144;

    // Stamps the message with the current time on the calling thread and queues its line. Any
    // thread.
    static void log(const QString &message);

    // Waits for every line logged before the call, then returns the last tailLength user-perceived
    // characters of "tester.log.1" followed by "tester.log". A file that is missing or not valid
    // UTF-8 contributes nothing. Must not be called from the log's own queue.
    static QString tail();

    // Waits until every line logged before the call has been written.
    static void flush();

    // The folder holding the files; created when missing, computed again at every call.
    static QString folder();

    // Tests rotate small files instead of half a megabyte; 0 or less restores rotationThreshold.
    static void setRotationThresholdForTesting(qint64 bytes);

private:
    static void append(const QString &line);
};
