// Arbitrary bytes as "Mail.dat" and "Msg.dat": the loader keeps whole records only, every text
// ends inside its field, and saving what was loaded gives back the whole records.

#include "AddressBook.h"
#include "FixedText.h"

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

template <class TBook> void Check(std::string_view bytes) {
    const auto entries = TBook::Decode(bytes);
    Require(entries.size() == bytes.size() / TBook::kRecordSize);
    const std::string saved = TBook::Encode(entries);
    Require(saved.size() == entries.size() * TBook::kRecordSize);
    // Only the final byte of each text field may differ (it is forced to zero on load).
    Require(TBook::Decode(saved).size() == entries.size());
    Require(TBook::Encode(TBook::Decode(saved)) == saved);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Check<CMailBook>(bytes);
    Check<CMessageBook>(bytes);
    for (const CMailReceiver& e : CMailBook::Decode(bytes)) {
        Require(FixedText::Get(e.Name).size() < sizeof e.Name);
        Require(FixedText::Get(e.Address).size() < sizeof e.Address);
    }
    // The add rules against a book loaded from the input.
    CMailBook book;
    for (const CMailReceiver& e : CMailBook::Decode(bytes)) {
        const std::string_view address = FixedText::Get(e.Address);
        const int id = book.AddUser(e.Enabled == 1, FixedText::Get(e.Name), address);
        Require(id == 0 || id == 161 || id == 162);
        Require((id == 161) == address.empty());
    }
    return 0;
}
