#pragma once

#include "UI/Pills/SettingsTheme.h"

#include <QObject>
#include <QtQml/qqml.h>

class QJSEngine;
class QQmlEngine;

// SettingsTheme as the QML singleton "SettingsTheme": every engine gets the shared instance, which
// C++ keeps owning. The class keeps its public default constructor (its appearance logic runs on
// private instances too), and QML would make an instance of its own for such a class instead of
// asking for the shared one; so QML learns of it through this declaration.
struct SettingsThemeForeign
{
    Q_GADGET
    QML_FOREIGN(SettingsTheme)
    QML_NAMED_ELEMENT(SettingsTheme)
    QML_SINGLETON

public:
    static SettingsTheme *create(QQmlEngine *, QJSEngine *);
};
