#include "StringTable.h"

#include "StringTableEn.h"
#include "StringTableZh.h"

#include <algorithm>
#include <iterator>
#include <span>

namespace {

using namespace stringtable_detail;

static_assert(MatchesIdList(kEnglishTexts), "English texts must follow VRN_STRING_IDS exactly");
static_assert(MatchesIdList(kChineseTexts), "Chinese texts must follow VRN_STRING_IDS exactly");
static_assert(NoEmptyText(kEnglishTexts) && NoEmptyText(kChineseTexts));
static_assert(SameFormats(kEnglishTexts, kChineseTexts),
              "a translation changed printf conversions or dropped an accelerator");

constexpr std::span<const SStringEntry> TableOf(ELanguage lang) {
    if (lang == ELanguage::Chinese) {
        return kChineseTexts;
    }
    return kEnglishTexts;
}

} // namespace

ELanguage LanguageFromSetting(int language) {
    return language == 0 ? ELanguage::Chinese : ELanguage::English;
}

const char* LoadText(int id, ELanguage lang) {
    std::span<const SStringEntry> table = TableOf(lang);
    auto it = std::lower_bound(table.begin(), table.end(), id,
                               [](const SStringEntry& e, int key) { return e.id < key; });
    if (it == table.end() || it->id != id) {
        return "";
    }
    return it->text;
}

std::size_t StringCount() {
    return std::size(kStringIdList);
}

int StringIdAt(std::size_t index) {
    if (index >= std::size(kStringIdList)) {
        return 0;
    }
    return kStringIdList[index];
}
