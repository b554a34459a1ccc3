#pragma once

#include <QString>
#include <QStringList>
#include <QTranslator>

#include <memory>
#include <optional>

// Makes Qt's own interface texts (dialog buttons, context menus of text fields, shortcut names)
// follow the application's interface language, which can change while the program runs.
//
// Qt looks its texts up through the translators installed on the application. installOnce()
// installs one translator of ours; it answers each request from Qt's translation catalogue for the
// current override code, found in Qt's translations folder (files such as "qt_de.qm" or
// "qtbase_zh_CN.qm"). Without a code, or when no catalogue fits the code, it gives no answer and Qt
// behaves as if it were not installed (its untranslated English texts, or another translator's).
//
// Catalogues are searched under these names, in order:
//   1. the code in Qt's catalogue naming: "-" becomes "_", and the script subtags that Qt's
//      catalogues name by region instead become that region ("zh-Hans" -> "zh_CN",
//      "zh-Hant" -> "zh_TW", "pt-BR" -> "pt_BR");
//   2. the code's first two characters, when they differ from the whole code ("zh", "pt");
//   3. for a code beginning with "en": "Base", Qt's own untranslated texts, which always exist.
// For each name the meta catalogue "qt_<name>.qm" is preferred to "qtbase_<name>.qm"; a file that
// does not load as a catalogue is passed over. A catalogue found for (folder, code) is kept for the
// life of the process; a search that finds nothing is not kept, so it is repeated at the next
// request. The lock that guards the code and the found catalogues is never held while the file
// system is searched or a catalogue loaded.
//
// Safe to use from any thread; installOnce() belongs on the main thread.
namespace FrameworkLanguage {

// The catalogue found for a folder and a code.
struct Catalogue
{
    QString name; // the candidate that matched: "zh_CN", "zh", "Base"
    QString filePath; // empty for "Base"
    std::shared_ptr<const QTranslator> translator; // null for "Base"
};

// Qt's translations folder.
QString catalogueFolder();

// The override code: an interface language code such as "ja" or "zh-Hans", or none. When it
// changes and the translator is installed, the application is told that the language changed, so
// open windows retranslate Qt's texts.
void setCode(const std::optional<QString> &code);
std::optional<QString> code();

// The catalogue in `folder` for `code`, or none.
std::optional<Catalogue> lproj(const QString &folder, const QString &code);

// Qt's text for a request, answered from the catalogue in `folder` for the current code; empty
// when there is no code or no catalogue for it, or the catalogue lacks the text (Qt then uses its
// own text).
QString translate(const QString &folder, const char *context, const char *sourceText,
                  const char *disambiguation = nullptr, int n = -1);

// Installs the translator on the application once per process; later calls do nothing. Needs the
// application object: a call before it exists installs nothing and leaves the installation to the
// next call. Returns whether the translator is installed.
bool installOnce();

} // namespace FrameworkLanguage
