#pragma once

#include <QString>

// Recognisers write what was not speech as a bracketed token: "[noise]", "(laughs)", "（拍手）",
// "【音楽】".
struct NonSpeech
{
    // One opening bracket, anything but a closing bracket, one closing bracket; the kinds of the
    // two brackets need not match.
    static const QString bracketToken;

    // Whether nothing but such tokens, blanks and punctuation remains: no letter or digit once
    // every token is removed.
    static bool isNonSpeechOnly(const QString &text);
};
