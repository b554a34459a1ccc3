#pragma once

#include "Support/AppLanguage.h"
#include "Support/LocalizationTables.h"

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <atomic>
#include <optional>

class QJSEngine;
class QQmlEngine;

// The current interface language and the lookup of interface texts by key.
//
// One instance, L10n::shared(), whose `language` starts as English; bootstrap() sets the stored
// or the system's language at launch, and apply() switches it while the program runs. Every
// assignment of `language` emits languageChanged(), also when the language stays the same.
//
// Views rebind through that one signal:
//   - C++: connect to languageChanged() and look the texts up again with string().
//   - QML (the singleton "L10n" of module "Sonorvelle"): write bindings as
//         text: L10n.t("menu.quit") + L10n.retranslate
//     `retranslate` is always the empty text, but it notifies with languageChanged(), so the
//     engine re-evaluates every binding that reads it, and t() then answers in the new language.
//
// A text that takes an argument holds one "%@", which string(key, argument) fills in.
class L10n : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(AppLanguage language READ language NOTIFY languageChanged)
    Q_PROPERTY(QString languageCode READ languageCode NOTIFY languageChanged)
    Q_PROPERTY(QString retranslate READ retranslate NOTIFY languageChanged)

public:
    static L10n &shared();

    AppLanguage language() const;
    QString languageCode() const { return language().rawValue(); }
    QString retranslate() const { return QString(); }

    // Applies the language stored under "languageCode" in the standard user defaults, or the
    // system's language when none (or an empty text) is stored. Main thread.
    void bootstrap();

    // Makes `code` the interface language: mirrors it into "AppleLanguages" and Qt's own texts,
    // then sets `language`. An absent code, or one that names no language, means the system's
    // language; "AppleLanguages" is removed then. Main thread.
    void apply(const std::optional<QString> &code);

    // The text of `key` in the current language, else in English, else the key itself. Any thread.
    QString string(const QString &key) const;
    // The text of `key` with its "%@" replaced by `argument`.
    QString string(const QString &key, const QString &argument) const;
    Q_INVOKABLE QString t(const QString &key) const { return string(key); }

    // The same lookup chain over any language (for texts rendered in another language than the
    // interface's, and for tests).
    static QString lookup(const QString &key, AppLanguage language);
    static QString lookup(const QString &key, AppLanguage language,
                          const QHash<AppLanguage, LocalizationTables::Table> &tables);

    // The instance of every QML engine; C++ keeps owning it.
    static L10n *create(QQmlEngine *, QJSEngine *);

Q_SIGNALS:
    void languageChanged();

private:
    L10n();

    std::atomic<int> m_language;
};
