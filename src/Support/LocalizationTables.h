#pragma once

#include "Support/AppLanguage.h"

#include <QHash>
#include <QString>
#include <QStringList>

// The interface texts: one table per interface language, each mapping the same dotted keys
// ("menu.quit", "dict.insertMethod") to that language's text. Built once, at first use, from
// constant data compiled into the program; never changed afterwards, so any thread may read them.
namespace LocalizationTables {

using Table = QHash<QString, QString>;

// All fourteen tables, keyed by language.
const QHash<AppLanguage, Table> &tables();

// The keys in the order of the English list.
QStringList keys();
// The keys in the order of one language's list (the same order as English, by construction).
QStringList keys(AppLanguage language);

// How many times the tables were built in this process (once, after the first lookup).
int buildCount();

} // namespace LocalizationTables
