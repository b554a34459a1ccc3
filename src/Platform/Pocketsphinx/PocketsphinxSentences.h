#pragma once

#include "Core/Transcription/SpeechLocale.h"
#include "Platform/Pocketsphinx/PocketsphinxStream.h"

#include <QString>

#include <vector>

// Sentences for dictation in English, from a decoder that gives neither case nor punctuation: the
// first word of the dictation and of every sentence starts with a capital, "i" is written "I",
// and the dictation ends with a full stop. Inside it, a sentence ends only at a pause long enough
// to end one, as the decoder's voice detector measures pauses (PocketsphinxStream); a pause to
// breathe or to think of the next word stays inside the sentence. Words that already hold a
// capital (a term spelled as the user wrote it) are left as they are.
namespace PocketsphinxSentences {

// The shortest pause, as the voice detector measures it (some 0.4 s less than heard), after
// which a new sentence begins. Measured on the packaged recordings: between the sentences of the
// joined librivox dictation 0.82 to 1.18 s; between the "go forward" command said again and
// again, which dictation takes as one run of speech, 0.72 to 0.74 s; inside a sentence the
// detector never turned to silence at all. Pauses to breathe or think stay well below.
inline constexpr double sentencePause = 0.8;

// Whether the locale's language has these rules (English); other languages get the decoder's
// text as it is.
bool supports(const SpeechLocale &locale);

// The stretches' texts as sentences. `ended`: the dictation is complete, so its last sentence is
// closed too.
QString format(const std::vector<PocketsphinxStream::Stretch> &stretches, bool ended);

} // namespace PocketsphinxSentences
