#include "Support/LocalizationTables.h"

#include "Support/Strings/StringsData.h"

#include <atomic>

namespace LocalizationTables {

namespace {

std::atomic<int> g_buildCount {0};

// The data lives for the whole process, so the texts can point at it instead of copying.
QString rawText(const char16_t *text, qsizetype length)
{
    return QString::fromRawData(reinterpret_cast<const QChar *>(text), length);
}

const StringsData::Language *languageData(AppLanguage language)
{
    const QString code = language.rawValue();
    for (qsizetype i = 0; i < StringsData::languageCount; ++i) {
        const StringsData::Language &data = StringsData::languages[i];
        if (QStringView(data.code, data.codeLength) == code) {
            return &data;
        }
    }
    return nullptr;
}

Table buildTable(AppLanguage language)
{
    Table table;
    const StringsData::Language *data = languageData(language);
    if (!data) {
        // The build lists every language; an absent one would only fall back to English.
        return table;
    }
    table.reserve(data->pairCount);
    for (qsizetype i = 0; i < data->pairCount; ++i) {
        const StringsData::Pair &pair = data->pairs[i];
        table.insert(rawText(pair.key, pair.keyLength), rawText(pair.text, pair.textLength));
    }
    return table;
}

} // namespace

const QHash<AppLanguage, Table> &tables()
{
    // A function-local static: concurrent first lookups wait for the one construction.
    static const QHash<AppLanguage, Table> all = [] {
        QHash<AppLanguage, Table> result;
        result.reserve(AppLanguage::caseCount);
        for (const AppLanguage language : AppLanguage::allCases()) {
            result.insert(language, buildTable(language));
        }
        g_buildCount.fetch_add(1);
        return result;
    }();
    return all;
}

QStringList keys()
{
    return keys(AppLanguage::en);
}

QStringList keys(AppLanguage language)
{
    QStringList result;
    if (const StringsData::Language *data = languageData(language)) {
        result.reserve(data->pairCount);
        for (qsizetype i = 0; i < data->pairCount; ++i) {
            result.append(rawText(data->pairs[i].key, data->pairs[i].keyLength));
        }
    }
    return result;
}

int buildCount()
{
    return g_buildCount.load();
}

} // namespace LocalizationTables
