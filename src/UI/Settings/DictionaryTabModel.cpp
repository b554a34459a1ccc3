#include "UI/Settings/DictionaryTabModel.h"

#include "Base/Unicode.h"
#include "Core/SharedVocabulary.h"
#include "Support/L10n.h"

using Row = DictionaryRowsModel::Row;

namespace {

Row termRow(int key, const QString &term)
{
    Row row;
    row.key = key;
    row.text = term;
    return row;
}

Row ruleRow(int key, const Replacement &rule)
{
    return {key, rule.id, rule.phrase, rule.expansion, rule.isEnabled};
}

} // namespace

DictionaryTabModel::DictionaryTabModel(SharedVocabulary &vocab, L10n &l10n, QObject *parent)
    : QObject(parent)
    , m_vocab(vocab)
    , m_l10n(l10n)
{
    followTerms();
    followReplacements();
    connect(&m_vocab, &SharedVocabulary::termsChanged, this, &DictionaryTabModel::followTerms);
    connect(&m_vocab, &SharedVocabulary::replacementsChanged, this,
            &DictionaryTabModel::followReplacements);
    connect(&m_l10n, &L10n::languageChanged, this, &DictionaryTabModel::duplicateNoteChanged);
}

void DictionaryTabModel::setNewTerm(const QString &text)
{
    if (text == m_newTerm) {
        return;
    }
    m_newTerm = text;
    Q_EMIT newTermChanged();
    setDuplicateTerm({});
}

void DictionaryTabModel::setNewPhrase(const QString &text)
{
    if (text != m_newPhrase) {
        m_newPhrase = text;
        Q_EMIT newPhraseChanged();
    }
}

void DictionaryTabModel::setNewExpansion(const QString &text)
{
    if (text != m_newExpansion) {
        m_newExpansion = text;
        Q_EMIT newExpansionChanged();
    }
}

QString DictionaryTabModel::duplicateNote() const
{
    if (m_duplicateTerm.isEmpty()) {
        return {};
    }
    return m_l10n.string(QStringLiteral("dic.termDuplicate"), m_duplicateTerm);
}

void DictionaryTabModel::setDuplicateTerm(const QString &term)
{
    if (term != m_duplicateTerm) {
        m_duplicateTerm = term;
        Q_EMIT duplicateNoteChanged();
    }
}

void DictionaryTabModel::addTerm()
{
    const QString term = Unicode::trimmedWhitespaceAndNewlines(m_newTerm);
    if (term.isEmpty()) {
        return;
    }
    if (m_vocab.terms().contains(term)) {
        setDuplicateTerm(term);
        return;
    }
    m_terms.append(termRow(m_terms.nextKey(), term));
    storeTerms();
    setNewTerm({});
    setDuplicateTerm({});
}

void DictionaryTabModel::addReplacement()
{
    const QString phrase = Unicode::trimmedWhitespaceAndNewlines(m_newPhrase);
    const QString expansion = Unicode::trimmedWhitespaceAndNewlines(m_newExpansion);
    if (phrase.isEmpty() || expansion.isEmpty()) {
        return;
    }
    m_replacements.append(
        ruleRow(m_replacements.nextKey(), {QUuid::createUuid(), phrase, expansion, true}));
    storeReplacements();
    setNewPhrase({});
    setNewExpansion({});
}

void DictionaryTabModel::editTerm(int key, const QString &text)
{
    const auto at = m_terms.position(key);
    if (!at) {
        return;
    }
    Row row = m_terms.rows().at(*at);
    row.text = text;
    m_terms.update(*at, row);
    storeTerms();
}

void DictionaryTabModel::deleteTerm(int key)
{
    if (const auto at = m_terms.position(key)) {
        m_terms.remove(*at);
        storeTerms();
    }
}

void DictionaryTabModel::editReplacement(int key, const std::function<void(Row &)> &change)
{
    const auto at = m_replacements.position(key);
    if (!at) {
        return;
    }
    Row row = m_replacements.rows().at(*at);
    change(row);
    m_replacements.update(*at, row);
    storeReplacements();
}

void DictionaryTabModel::editPhrase(int key, const QString &text)
{
    editReplacement(key, [&](Row &row) { row.text = text; });
}

void DictionaryTabModel::editExpansion(int key, const QString &text)
{
    editReplacement(key, [&](Row &row) { row.expansion = text; });
}

void DictionaryTabModel::setReplacementEnabled(int key, bool enabled)
{
    editReplacement(key, [&](Row &row) { row.isEnabled = enabled; });
}

void DictionaryTabModel::deleteReplacement(int key)
{
    const auto at = m_replacements.position(key);
    if (!at) {
        return;
    }
    const QUuid id = m_replacements.rows().at(*at).id;
    for (int i = m_replacements.count() - 1; i >= 0; --i) {
        if (m_replacements.rows().at(i).id == id) {
            m_replacements.remove(i);
        }
    }
    storeReplacements();
}

QStringList DictionaryTabModel::listedTerms() const
{
    QStringList terms;
    terms.reserve(m_terms.count());
    for (const Row &row : m_terms.rows()) {
        if (SharedVocabulary::keepsTerm(row.text)) {
            terms.append(row.text);
        }
    }
    return terms;
}

QList<Replacement> DictionaryTabModel::listedReplacements() const
{
    QList<Replacement> replacements;
    replacements.reserve(m_replacements.count());
    for (const Row &row : m_replacements.rows()) {
        replacements.append({row.id, row.text, row.expansion, row.isEnabled});
    }
    return replacements;
}

void DictionaryTabModel::storeTerms()
{
    m_vocab.setTerms(listedTerms());
}

void DictionaryTabModel::storeReplacements()
{
    m_vocab.setReplacements(listedReplacements());
}

void DictionaryTabModel::followTerms()
{
    const QStringList terms = m_vocab.terms();
    // The tab's own writes come back here unchanged.
    if (terms == listedTerms()) {
        return;
    }
    QList<Row> rows;
    rows.reserve(terms.size());
    for (const QString &term : terms) {
        rows.append(termRow(0, term));
    }
    // A term still listed keeps its row.
    m_terms.follow(std::move(rows), [](const Row &row) { return row.text; });
}

void DictionaryTabModel::followReplacements()
{
    const QList<Replacement> replacements = m_vocab.replacements();
    if (replacements == listedReplacements()) {
        return;
    }
    QList<Row> rows;
    rows.reserve(replacements.size());
    for (const Replacement &replacement : replacements) {
        rows.append(ruleRow(0, replacement));
    }
    // A rule still listed keeps its row, whatever its texts are now.
    m_replacements.follow(std::move(rows), [](const Row &row) { return row.id.toString(); });
}
