#pragma once

#include "Support/AppLanguage.h"

#include <QObject>
#include <QtQml/qqml.h>

// The cases of AppLanguage for QML, as the enumeration "AppLanguage" of module "Sonorvelle"
// (AppLanguage.ja). A value type's QML name must begin with a lowercase letter, so the gadget's
// enumeration is declared through this namespace instead of on the gadget itself.
namespace AppLanguageForeign {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(AppLanguage)
QML_NAMED_ELEMENT(AppLanguage)
} // namespace AppLanguageForeign
