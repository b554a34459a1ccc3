#pragma once

#include <QtGlobal>

// The interface texts as constant data, generated at build time from the <code>.json files in
// this folder (one per interface language). The generator refuses to produce it when a language
// lacks a key of the English file, has an extra one, orders them differently, leaves a text empty
// or changes a text's "%@" placeholders, so everything here is complete and consistent.
namespace StringsData {

struct Pair
{
    const char16_t *key;
    qsizetype keyLength;
    const char16_t *text;
    qsizetype textLength;
};

struct Language
{
    const char16_t *code; // the language code, as AppLanguage spells it
    qsizetype codeLength;
    const Pair *pairs; // in the order of the English file
    qsizetype pairCount;
};

// English first, then the other languages in the order the build lists them.
extern const Language languages[];
extern const qsizetype languageCount;

} // namespace StringsData
