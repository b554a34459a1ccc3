#pragma once

// What a caller asked of the language model whose text the fidelity guard judges.
enum class EditContract {
    faithful, // keep the wording: a lost key token rejects the text
    polish, // rewording allowed: a lost key token only warns
};
