#pragma once

#include "Core/Models/Replacement.h"
#include "Core/Services/VocabularySource.h"
#include "Core/VersionedBlobSync.h"
#include "Core/VocabularyMigrator.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <optional>

class Clock;
class CloudAccount;
class CloudSession;
class UserDefaults;

// The user's vocabulary: the dictionary terms (names and words to be recognised and spelled
// exactly) and the replacement rules. Both lists are kept in the user defaults, published on every
// change, and, while the user is signed in to the cloud account, kept in step with the account's
// copy on the service ("/api/sync/shared"), so that every computer signed in to the same account
// shares them.
//
// The settings hand over the vocabulary of older versions once, when they are made
// (migrateIfNeeded); the start-up calls start() once, after settings sync; a dictation session
// reads terms() and replacements(); the dictionary tab assigns whole new lists.
//
// A server copy is checked before it reaches dictation: terms that are blank or longer than
// maxTermLength characters are left out, and a copy that does not decode leaves both lists as they
// are. Each such copy is logged once.
//
// Main thread only.
class SharedVocabulary
    : public QObject
    , public VocabularySource
    , public VocabularyMigrator
    , private VersionedBlobSync::Client
{
    Q_OBJECT

    Q_PROPERTY(QStringList terms READ terms WRITE setTerms NOTIFY termsChanged)
    Q_PROPERTY(QList<Replacement> replacements READ replacements WRITE setReplacements NOTIFY
                   replacementsChanged)

public:
    // Longer terms from another computer are left out: a term is a name or a word, and every
    // term is handed to the recogniser and matched against every dictation.
    static constexpr qsizetype maxTermLength = 200;

    // The user-defaults keys.
    static const QString termsKey;
    static const QString replacementsKey;
    static const QString lastBlobKey;
    static const QString baseVersionKey;
    // The account whose copy the stored version and blob describe.
    static const QString accountKey;

    // The two lists as they travel.
    struct Payload
    {
        QStringList terms;
        QList<Replacement> replacements;

        friend bool operator==(const Payload &, const Payload &) = default;
    };

    // The objects must outlive the vocabulary.
    struct Services
    {
        UserDefaults *defaults = nullptr;
        CloudSession *session = nullptr;
        CloudAccount *account = nullptr;
        Clock *clock = nullptr;
    };

    // Loads both lists from the defaults; a stored rule list that does not decode gives none.
    explicit SharedVocabulary(Services services, QObject *parent = nullptr);
    ~SharedVocabulary() override;

    // The process-wide vocabulary on the standard defaults, the shared session and account and
    // the system clock, made at first use.
    static SharedVocabulary &shared();
    // Puts a test's own object in place of the shared one; nullptr goes back to the real one.
    static void overrideSharedForTesting(SharedVocabulary *vocabulary);

    // Whether a term is worth keeping: a blank one would only reach the recogniser and the other
    // computers as noise. Rules are all kept: one whose phrase the user has emptied still holds
    // its expansion, and only dictation skips it.
    static bool keepsTerm(const QString &term);

    QStringList terms() const override { return m_terms; }
    // Blank entries are left out; a list equal to the current one then changes nothing, another
    // is stored and pushed later.
    void setTerms(const QStringList &terms);
    QList<Replacement> replacements() const override { return m_replacements; }
    void setReplacements(const QList<Replacement> &replacements);

    void migrateIfNeeded(const QStringList &legacyTerms,
                         const QList<Replacement> &legacyReplacements) override;

    // Follows the account (each sign-in pulls) and pulls when a token is stored. Once.
    void start();
    // Starts a pull; returns at once.
    void pull(bool force);

    // The blob of two lists: {"replacements":[{"expansion","id","isEnabled","phrase"}...],
    // "terms":[...]}, compact, keys sorted.
    static QString blob(const QStringList &terms, const QList<Replacement> &replacements);
    // The lists of a blob; nothing when it is not JSON or not of that shape (every rule needs all
    // four keys).
    static std::optional<Payload> decodeBlob(const QString &blob);

    // The sync underneath, for tests and benchmarks that wait for it.
    VersionedBlobSync &sync() { return m_sync; }

Q_SIGNALS:
    void termsChanged();
    void replacementsChanged();

private:
    QString snapshotBlob() const override;
    bool hasLocalData() const override;
    std::optional<QString> applyBlob(const QString &blob) override;
    void report(VersionedBlobSync::Step step, qint64 version) override;
    QString counts() const;

    UserDefaults &m_defaults;
    QStringList m_terms;
    QList<Replacement> m_replacements;
    VersionedBlobSync m_sync;
};
