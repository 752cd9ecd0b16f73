// Arbitrary file bytes through the INI reader, the store's lookups and the writer. Properties:
// no crash or overrun, a value never exceeds the read buffer, writing back and reading again
// gives the same document, and a written key always reads back as written.

#include "IniDocument.h"
#include "IniFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

const char* const kLookups[][2] = {
    {"General", "Language"},
    {"general", "LOGFILEPATH"},
    {"Network", "AgentPort"},
    {"Security", "LoginP"},
    {"EVENT", "EnableNotify"},
    {"SMTP", "Password"},
    {"A", "k"},
    {"", ""},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CIniDocument doc;
    doc.Parse(text);
    for (const auto& lookup : kLookups) {
        const std::string* value = doc.Find(lookup[0], lookup[1]);
        if (value != nullptr) {
            Require(value->find('\n') == std::string::npos);
            Require(value->find('\0') == std::string::npos);
        }
        (void)CIniFile::ParseDecimal(value != nullptr ? *value : std::string_view());
    }

    const std::string once = doc.Serialize();
    CIniDocument again;
    again.Parse(once);
    Require(again.Serialize() == once);
    Require(again.SectionNames() == doc.SectionNames());
    for (const auto& lookup : kLookups) {
        const std::string* a = doc.Find(lookup[0], lookup[1]);
        const std::string* b = again.Find(lookup[0], lookup[1]);
        Require((a == nullptr) == (b == nullptr));
        Require(a == nullptr || *a == *b);
    }

    // The input's first line doubles as a value to write; the store's sections must survive it.
    const std::string_view value = text.substr(0, text.find('\n'));
    again.DeleteSection("SMTP");
    Require(again.Set("SMTP", "Server", value));
    Require(again.Set("General", "Language", "0"));
    CIniDocument third;
    third.Parse(again.Serialize());
    const std::string* server = third.Find("smtp", "server");
    const std::string* language = third.Find("GENERAL", "language");
    Require(server != nullptr && language != nullptr);
    Require(server->size() <= value.size());
    const bool plain = value.find_first_of(std::string_view("\r\0", 2)) == std::string_view::npos &&
                       (value.empty() || (value.front() != ' ' && value.front() != '\t' &&
                                          value.back() != ' ' && value.back() != '\t'));
    Require(!plain || *server == value);
    return 0;
}
