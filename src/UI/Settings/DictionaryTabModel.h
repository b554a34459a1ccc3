#pragma once

#include "Core/Models/Replacement.h"
#include "UI/Settings/DictionaryRowsModel.h"

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <functional>

class L10n;
class SharedVocabulary;

// The Dictionary tab: the terms and the replacement rules of the shared vocabulary, the three
// entry fields and the duplicate note. Every change assigns the whole new list to the vocabulary,
// which stores it and schedules its sync, so the tab has no save step. Made each time the tab is
// shown: the entry fields and the note start empty. Main thread.
//
// The lists are shown through rows with keys of their own (DictionaryRowsModel): the view edits and
// deletes by key, so an edit of a row that a sync has since replaced or removed is dropped rather
// than written into whichever term took its place. A row emptied by the user stays on screen to be
// typed into again. An empty term is never handed to the vocabulary, so it is neither stored nor
// synced; a rule whose phrase is emptied is an edit, not a delete: it is stored and synced with
// its expansion, and only the row's delete button removes it.
class DictionaryTabModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the window")
    Q_PROPERTY(QString newTerm READ newTerm WRITE setNewTerm NOTIFY newTermChanged)
    Q_PROPERTY(QString newPhrase READ newPhrase WRITE setNewPhrase NOTIFY newPhraseChanged)
    Q_PROPERTY(
        QString newExpansion READ newExpansion WRITE setNewExpansion NOTIFY newExpansionChanged)
    // Empty when there is no note.
    Q_PROPERTY(QString duplicateNote READ duplicateNote NOTIFY duplicateNoteChanged)
    Q_PROPERTY(DictionaryRowsModel *terms READ terms CONSTANT)
    Q_PROPERTY(DictionaryRowsModel *replacements READ replacements CONSTANT)

public:
    DictionaryTabModel(SharedVocabulary &vocab, L10n &l10n, QObject *parent = nullptr);

    QString newTerm() const { return m_newTerm; }
    void setNewTerm(const QString &text);
    QString newPhrase() const { return m_newPhrase; }
    void setNewPhrase(const QString &text);
    QString newExpansion() const { return m_newExpansion; }
    void setNewExpansion(const QString &text);
    QString duplicateNote() const;
    DictionaryRowsModel *terms() { return &m_terms; }
    DictionaryRowsModel *replacements() { return &m_replacements; }

    // Adds the trimmed entry at the end; an entry blank after trimming changes nothing, and a term
    // already listed (exactly, letter case counts) is answered by the note instead.
    Q_INVOKABLE void addTerm();
    Q_INVOKABLE void addReplacement();

    // Each takes the row's key; a key no longer listed changes nothing. Texts are kept as typed.
    Q_INVOKABLE void editTerm(int key, const QString &text);
    Q_INVOKABLE void deleteTerm(int key);
    Q_INVOKABLE void editPhrase(int key, const QString &text);
    Q_INVOKABLE void editExpansion(int key, const QString &text);
    Q_INVOKABLE void setReplacementEnabled(int key, bool enabled);
    // Removes every rule with that row's identifier.
    Q_INVOKABLE void deleteReplacement(int key);

Q_SIGNALS:
    void newTermChanged();
    void newPhraseChanged();
    void newExpansionChanged();
    void duplicateNoteChanged();

private:
    // The term the note is about; empty: no note. The note reads in the language of the moment.
    void setDuplicateTerm(const QString &term);
    // The vocabulary's lists as rows, keeping the key of every row that is still listed.
    void followTerms();
    void followReplacements();
    // Hands the rows to the vocabulary.
    void storeTerms();
    void storeReplacements();
    QStringList listedTerms() const;
    QList<Replacement> listedReplacements() const;
    void editReplacement(int key, const std::function<void(DictionaryRowsModel::Row &)> &change);

    SharedVocabulary &m_vocab;
    L10n &m_l10n;
    DictionaryRowsModel m_terms;
    DictionaryRowsModel m_replacements;
    QString m_newTerm;
    QString m_newPhrase;
    QString m_newExpansion;
    QString m_duplicateTerm;
};
