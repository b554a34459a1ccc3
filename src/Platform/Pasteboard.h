#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <QCoro/QCoroTask>

#include <optional>
#include <utility>

// The system clipboard as the inserter sees it: items of typed bytes, a change count, and
// replacing the whole content at once. On X11 it is the CLIPBOARD selection: one item, one entry
// per target its owner offers.
//
// Every operation but readItems() is called on the thread that made the object (the main
// thread); readItems() never blocks that thread.
class Pasteboard
{
public:
    // One representation of an item: the type it is offered as and its bytes.
    struct Entry
    {
        Entry() = default;
        Entry(QString type, QByteArray data, QString dataType = {}, int unitBits = 8)
            : type(std::move(type))
            , data(std::move(data))
            , dataType(std::move(dataType))
            , unitBits(unitBits)
        { }

        QString type;
        QByteArray data;
        // How the owner labelled the bytes when that differs from `type` (an X11 owner answers
        // "TEXT" with "UTF8_STRING" bytes); empty: the type itself.
        QString dataType;
        // Size of the data's units in bits (8, 16 or 32), as the owner handed them over.
        int unitBits = 8;

        bool operator==(const Entry &) const = default;
    };
    // The representations of one item, in the order its owner lists them.
    using Item = QList<Entry>;
    // Every item on the pasteboard, in order; an empty list is an empty pasteboard.
    using Snapshot = QList<Item>;

    // The type of UTF-8 plain text.
    static inline const QString plainTextType = QStringLiteral("text/plain;charset=utf-8");

    virtual ~Pasteboard() = default;

    // Grows by one at every change of the content, whoever made it (this process or another).
    virtual qint64 changeCount() = 0;

    // Reads every item with the bytes of every type it offers; a type whose bytes cannot be read
    // is left out. Absent when the content could not be read at all (its owner does not answer,
    // or the content changed while it was being read). Resumes on the calling thread.
    virtual QCoro::Task<std::optional<Snapshot>> readItems() = 0;

    // Empties the pasteboard.
    virtual void clearContents() = 0;

    // Replaces the content with these items, offered until someone else changes the pasteboard.
    // False when the pasteboard cannot be taken; the content is then left as it was.
    virtual bool writeItems(const Snapshot &items) = 0;

    // How many times another application has fetched data (not merely the list of types) of the
    // content written by the last writeItems(). Lets a caller see that a paste has taken place.
    virtual qint64 contentReadCount() = 0;
};
