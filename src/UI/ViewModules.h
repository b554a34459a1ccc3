#pragma once

#include <QtQml/qqmlextensionplugin.h>

// The QML modules are static libraries; a program that shows views imports their plugins here,
// once, so that the linker keeps their type registrations and resources.
Q_IMPORT_QML_PLUGIN(SonorvellePlugin)
Q_IMPORT_QML_PLUGIN(Sonorvelle_PillsPlugin)
Q_IMPORT_QML_PLUGIN(Sonorvelle_SettingsPlugin)
Q_IMPORT_QML_PLUGIN(Sonorvelle_OnboardingPlugin)
Q_IMPORT_QML_PLUGIN(Sonorvelle_VoiceBarPlugin)
Q_IMPORT_QML_PLUGIN(Sonorvelle_AnswerCardPlugin)
