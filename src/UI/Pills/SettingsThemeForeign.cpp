#include "UI/Pills/SettingsThemeForeign.h"

#include <QJSEngine>

SettingsTheme *SettingsThemeForeign::create(QQmlEngine *, QJSEngine *)
{
    QJSEngine::setObjectOwnership(&SettingsTheme::shared(), QJSEngine::CppOwnership);
    return &SettingsTheme::shared();
}
