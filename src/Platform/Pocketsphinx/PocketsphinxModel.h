#pragma once

#include "Core/Transcription/SpeechLocale.h"

#include <QList>
#include <QString>
#include <QStringList>

// One installed pocketsphinx model for a locale: an acoustic model folder, a language model and a
// pronunciation dictionary. Models are folders named after their locale ("en-us") inside a model
// folder, laid out as the Debian packages install them:
//
//     en-us/en-us/            acoustic model (mdef, means, variances, ...)
//     en-us/en-us.lm.bin      language model (phone-only models are passed over)
//     en-us/cmudict-en-us.dict
struct PocketsphinxModel
{
    SpeechLocale locale;
    QString acousticModel;
    QString languageModel;
    QString dictionary;

    // Whether all three parts are on disk, each file the decoder needs present and not empty.
    bool isComplete() const;
    // Identifies the model's files (the decoder pool keeps decoders per key).
    QString key() const { return acousticModel + u'|' + languageModel + u'|' + dictionary; }

    // The model of one locale folder; an empty locale when the folder holds no complete model.
    static PocketsphinxModel fromFolder(const QString &folder);
    // The complete models in the given model folders, the first folder's model winning for a
    // locale found twice.
    static QList<PocketsphinxModel> installed(const QStringList &modelFolders);
    // The complete models in the model folder of the pocketsphinx installation and in
    // "pocketsphinx/model" of the XDG data folders.
    static QList<PocketsphinxModel> installed();
    static QStringList searchFolders();
};
