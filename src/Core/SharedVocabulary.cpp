#include "Core/SharedVocabulary.h"

#include "Base/Clock.h"
#include "Base/Unicode.h"
#include "Base/UserDefaults.h"
#include "Core/CloudAccount.h"
#include "Core/CloudSession.h"
#include "Core/DebugLog.h"

#include <exception>

namespace {

SharedVocabulary *g_override = nullptr;

bool usableTerm(const QString &term)
{
    if (!SharedVocabulary::keepsTerm(term)) {
        return false;
    }
    // The number of UTF-16 units bounds the number of characters from above.
    return term.size() <= SharedVocabulary::maxTermLength
        || Unicode::graphemeCount(term) <= SharedVocabulary::maxTermLength;
}

} // namespace

const QString SharedVocabulary::termsKey = QStringLiteral("sharedDictionaryTerms");
const QString SharedVocabulary::replacementsKey = QStringLiteral("sharedReplacements");
const QString SharedVocabulary::lastBlobKey = QStringLiteral("sharedVocabLastBlob");
const QString SharedVocabulary::baseVersionKey = QStringLiteral("sharedVocabBaseVersion");
const QString SharedVocabulary::accountKey = QStringLiteral("sharedVocabAccount");

SharedVocabulary::SharedVocabulary(Services services, QObject *parent)
    : QObject(parent)
    , m_defaults(*services.defaults)
    , m_terms(m_defaults.stringArray(termsKey).value_or(QStringList()))
    , m_replacements(
          Replacement::decodeList(m_defaults.data(replacementsKey).value_or(QByteArray())))
    , m_sync(
          VersionedBlobSync::Config {
              QStringLiteral("sync/shared"),
              lastBlobKey,
              baseVersionKey,
              accountKey,
              VersionedBlobSync::PresenceRule::versionAtLeastOne,
              VersionedBlobSync::NoCopyAction::pushWhenLocalNotEmpty,
          },
          VersionedBlobSync::Services {services.session, services.account, services.defaults,
                                       services.clock},
          *this)
{ }

SharedVocabulary::~SharedVocabulary() = default;

SharedVocabulary &SharedVocabulary::shared()
{
    if (g_override) {
        return *g_override;
    }
    static SharedVocabulary *instance =
        new SharedVocabulary(Services {&UserDefaults::standard(), &CloudSession::shared(),
                                       &CloudAccount::shared(), &Clock::system()});
    return *instance;
}

void SharedVocabulary::overrideSharedForTesting(SharedVocabulary *vocabulary)
{
    g_override = vocabulary;
}

// MARK: The lists

bool SharedVocabulary::keepsTerm(const QString &term)
{
    return !Unicode::trimmedWhitespaceAndNewlines(term).isEmpty();
}

void SharedVocabulary::setTerms(const QStringList &list)
{
    QStringList terms = list;
    terms.removeIf([](const QString &term) { return !keepsTerm(term); });
    if (terms == m_terms) {
        return;
    }
    m_terms = std::move(terms);
    m_defaults.setValue(termsKey, m_terms);
    Q_EMIT termsChanged();
    m_sync.schedulePush();
}

void SharedVocabulary::setReplacements(const QList<Replacement> &list)
{
    if (list == m_replacements) {
        return;
    }
    m_replacements = list;
    try {
        m_defaults.setValue(replacementsKey,
                            Json::serialize(Replacement::toJsonList(m_replacements)));
    } catch (const std::exception &) {
        // Nothing stored; the push below still carries the list.
    }
    Q_EMIT replacementsChanged();
    m_sync.schedulePush();
}

void SharedVocabulary::migrateIfNeeded(const QStringList &legacyTerms,
                                       const QList<Replacement> &legacyReplacements)
{
    if (!m_terms.isEmpty() || !m_replacements.isEmpty()) {
        return;
    }
    if (legacyTerms.isEmpty() && legacyReplacements.isEmpty()) {
        return;
    }
    setTerms(legacyTerms);
    setReplacements(legacyReplacements);
}

// MARK: Sync

void SharedVocabulary::start()
{
    m_sync.start();
    if (m_sync.hasToken()) {
        m_sync.pull(false);
    }
}

void SharedVocabulary::pull(bool force)
{
    m_sync.pull(force);
}

QString SharedVocabulary::blob(const QStringList &terms, const QList<Replacement> &replacements)
{
    // Written directly in the one shape the blob has, keys in sorted order: a vocabulary of
    // thousands of entries is written at every debounced check, and building a JSON tree first
    // costs several times as much. The tests hold it to the generic encoding.
    std::string out;
    out.reserve(size_t(64 + terms.size() * 24 + replacements.size() * 160));
    out += "{\"replacements\":[";
    bool first = true;
    for (const Replacement &replacement : replacements) {
        out += first ? "{\"expansion\":" : ",{\"expansion\":";
        first = false;
        VersionedBlobSync::appendBlobString(out, replacement.expansion);
        out += ",\"id\":\"";
        out += Json::uuidString(replacement.id).toStdString();
        out += replacement.isEnabled ? "\",\"isEnabled\":true,\"phrase\":"
                                     : "\",\"isEnabled\":false,\"phrase\":";
        VersionedBlobSync::appendBlobString(out, replacement.phrase);
        out += '}';
    }
    out += "],\"terms\":[";
    first = true;
    for (const QString &term : terms) {
        if (!first) {
            out += ',';
        }
        first = false;
        VersionedBlobSync::appendBlobString(out, term);
    }
    out += "]}";
    return QString::fromUtf8(out.data(), qsizetype(out.size()));
}

std::optional<SharedVocabulary::Payload> SharedVocabulary::decodeBlob(const QString &blob)
{
    try {
        const Json::Object json = Json::parse(blob.toUtf8());
        Json::requireObject(json, "the vocabulary");
        const auto terms = json.find("terms");
        const auto replacements = json.find("replacements");
        if (terms == json.end() || !terms->is_array() || replacements == json.end()
            || !replacements->is_array()) {
            return std::nullopt;
        }
        Payload payload;
        payload.terms.reserve(qsizetype(terms->size()));
        for (const auto &term : *terms) {
            if (!term.is_string()) {
                return std::nullopt;
            }
            payload.terms.append(Json::fromStd(term.get_ref<const std::string &>()));
        }
        payload.replacements = Replacement::fromJsonList(*replacements);
        return payload;
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

QString SharedVocabulary::snapshotBlob() const
{
    return blob(m_terms, m_replacements);
}

bool SharedVocabulary::hasLocalData() const
{
    return !m_terms.isEmpty() || !m_replacements.isEmpty();
}

std::optional<QString> SharedVocabulary::applyBlob(const QString &blob)
{
    std::optional<Payload> payload = decodeBlob(blob);
    if (!payload) {
        return std::nullopt;
    }
    QStringList terms;
    terms.reserve(payload->terms.size());
    for (const QString &term : std::as_const(payload->terms)) {
        if (usableTerm(term)) {
            terms.append(term);
        }
    }
    if (const qsizetype left = payload->terms.size() - terms.size(); left > 0) {
        DebugLog::log(QStringLiteral("vocab: left out %1 unusable terms (blank or longer than %2 "
                                     "characters)")
                          .arg(left)
                          .arg(maxTermLength));
    }
    setTerms(terms);
    setReplacements(payload->replacements);
    // What was left out stays out of the base too: compared with the server's copy, the lists
    // would differ forever and be pushed back at the next pull.
    return snapshotBlob();
}

QString SharedVocabulary::counts() const
{
    return QStringLiteral("%1 terms / %2 rules").arg(m_terms.size()).arg(m_replacements.size());
}

void SharedVocabulary::report(VersionedBlobSync::Step step, qint64 version)
{
    using Step = VersionedBlobSync::Step;
    switch (step) {
    case Step::pushed:
        DebugLog::log(QStringLiteral("vocab: pushed (v%1, %2)").arg(version).arg(counts()));
        break;
    case Step::pushFailed:
        DebugLog::log(QStringLiteral("vocab: push failed"));
        break;
    case Step::applied:
        DebugLog::log(QStringLiteral("vocab: pulled (v%1, %2)").arg(version).arg(counts()));
        break;
    case Step::unreadable:
        DebugLog::log(QStringLiteral("vocab: pulled copy v%1 unreadable; lists kept").arg(version));
        break;
    case Step::malformedReply:
        DebugLog::log(QStringLiteral("vocab: pull reply without a usable version or blob"));
        break;
    case Step::pullFailed:
        DebugLog::log(QStringLiteral("vocab: pull failed"));
        break;
    case Step::pushStarted:
    case Step::pullStarted:
    case Step::upToDate:
    case Step::pullUnauthorized:
    case Step::dropped:
        break;
    }
}
