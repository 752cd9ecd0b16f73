// The utility's texts in English (US) and Chinese (Taiwan), looked up by their identifiers
// (StringIds.h). Plain C++ so that the core, the headless mode and the tools share it.
#pragma once

#include "StringIds.h"

#include <atomic>
#include <cstddef>

enum class ELanguage { Chinese = 0, English = 1 };

// The `Language` setting: 0 selects Chinese, every other value English.
ELanguage LanguageFromSetting(int language);

// The text of `id` in `lang`, UTF-8. Never null: an unknown identifier gives "".
const char* LoadText(int id, ELanguage lang);

// Number of identifiers; both languages hold exactly the same ones.
std::size_t StringCount();

// The identifier at `index` (0 .. StringCount() - 1) in ascending order; 0 past the end.
int StringIdAt(std::size_t index);

// The process-wide interface language. It is set at start-up and when the Setup sheet is
// confirmed, while monitor threads go on formatting alarm texts, so reads and writes are
// atomic and never torn.
class CStringTable {
public:
    static void SetLanguage(int languageSetting) {
        SetLanguage(LanguageFromSetting(languageSetting));
    }
    static void SetLanguage(ELanguage lang) { m_Language.store(lang, std::memory_order_relaxed); }
    static ELanguage Language() { return m_Language.load(std::memory_order_relaxed); }
    static const char* Text(int id) { return LoadText(id, Language()); }

private:
    // English until the settings say otherwise: the setting's default is 1.
    static inline std::atomic<ELanguage> m_Language{ELanguage::English};
};
