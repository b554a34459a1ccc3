#include "Platform/Pocketsphinx/PocketsphinxModel.h"

#include "Base/BoundedFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

bool looksLikeLanguageSubtag(const QString &code)
{
    if (code.size() < 2 || code.size() > 3) {
        return false;
    }
    for (const QChar c : code) {
        if (c < u'a' || c > u'z') {
            return false;
        }
    }
    return true;
}

QString firstFile(const QDir &dir, const QStringList &preferred, const QStringList &patterns,
                  const QString &excludedSuffix)
{
    for (const QString &name : preferred) {
        if (QFileInfo(dir.filePath(name)).isFile()) {
            return dir.filePath(name);
        }
    }
    const QStringList names = dir.entryList(patterns, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        if (excludedSuffix.isEmpty() || !name.endsWith(excludedSuffix)) {
            return dir.filePath(name);
        }
    }
    return QString();
}

} // namespace

namespace {

bool startsWith(const QString &path, std::initializer_list<QByteArrayView> headers)
{
    const BoundedFile::Result file = BoundedFile::readHead(path, 8);
    const QByteArray &head = file.bytes;
    return std::any_of(headers.begin(), headers.end(),
                       [&head](QByteArrayView header) { return head.startsWith(header); });
}

bool nonEmpty(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.size() > 0;
}

} // namespace

// pocketsphinx ends the whole process when an acoustic model file is missing, empty or of the
// wrong kind, so a model is only offered when every file it needs is there and begins as such a
// file does.
bool PocketsphinxModel::isComplete() const
{
    if (locale.isEmpty()) {
        return false;
    }
    if (!startsWith(acousticModel + QStringLiteral("/mdef"), {"BMDF", "0.3"})) {
        return false;
    }
    for (const char *part : {"means", "variances", "transition_matrices"}) {
        if (!startsWith(acousticModel + u'/' + QLatin1StringView(part), {"s3\n"})) {
            return false;
        }
    }
    return nonEmpty(languageModel) && nonEmpty(dictionary);
}

PocketsphinxModel PocketsphinxModel::fromFolder(const QString &folder)
{
    const QDir dir(folder);
    const QString name = dir.dirName();
    PocketsphinxModel model;
    const SpeechLocale locale(name);
    if (!looksLikeLanguageSubtag(locale.languageCode())) {
        return model;
    }

    if (QFileInfo(dir.filePath(name + QStringLiteral("/mdef"))).isFile()) {
        model.acousticModel = dir.filePath(name);
    } else {
        const QStringList subfolders = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString &sub : subfolders) {
            if (QFileInfo(dir.filePath(sub + QStringLiteral("/mdef"))).isFile()) {
                model.acousticModel = dir.filePath(sub);
                break;
            }
        }
    }
    model.languageModel =
        firstFile(dir, {name + QStringLiteral(".lm.bin"), name + QStringLiteral(".lm")},
                  {QStringLiteral("*.lm.bin"), QStringLiteral("*.lm"), QStringLiteral("*.lm.DMP")},
                  QStringLiteral("-phone.lm.bin"));
    model.dictionary = firstFile(dir,
                                 {QStringLiteral("cmudict-") + name + QStringLiteral(".dict"),
                                  name + QStringLiteral(".dict")},
                                 {QStringLiteral("*.dict"), QStringLiteral("*.dic")}, QString());
    model.locale = locale;
    if (!model.isComplete()) {
        return PocketsphinxModel();
    }
    return model;
}

QList<PocketsphinxModel> PocketsphinxModel::installed(const QStringList &modelFolders)
{
    QList<PocketsphinxModel> models;
    for (const QString &root : modelFolders) {
        const QDir rootDir(root);
        const QStringList folders =
            rootDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString &folder : folders) {
            const PocketsphinxModel model = fromFolder(rootDir.filePath(folder));
            if (model.locale.isEmpty()) {
                continue;
            }
            const bool known = std::any_of(models.cbegin(), models.cend(), [&](const auto &other) {
                return other.locale == model.locale;
            });
            if (!known) {
                models.append(model);
            }
        }
    }
    return models;
}

QList<PocketsphinxModel> PocketsphinxModel::installed()
{
    return installed(searchFolders());
}

QStringList PocketsphinxModel::searchFolders()
{
    QStringList folders;
    auto add = [&folders](const QString &folder) {
        const QString clean = QDir::cleanPath(folder);
        if (!clean.isEmpty() && !folders.contains(clean) && QFileInfo(clean).isDir()) {
            folders.append(clean);
        }
    };
    // Models the user installed come before the system's.
    const QStringList dataFolders = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation,
                                                              QStringLiteral("pocketsphinx/model"),
                                                              QStandardPaths::LocateDirectory);
    for (const QString &folder : dataFolders) {
        add(folder);
    }
#ifdef SONORVELLE_POCKETSPHINX_MODELDIR
    add(QStringLiteral(SONORVELLE_POCKETSPHINX_MODELDIR));
#endif
    return folders;
}
