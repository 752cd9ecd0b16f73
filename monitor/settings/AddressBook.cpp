#include "AddressBook.h"

#include "FixedText.h"
#include "SettingsMessages.h"

#include <cstring>
#include <utility>

namespace {

void PutLe32(unsigned char out[4], std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    out[0] = static_cast<unsigned char>(v);
    out[1] = static_cast<unsigned char>(v >> 8);
    out[2] = static_cast<unsigned char>(v >> 16);
    out[3] = static_cast<unsigned char>(v >> 24);
}

std::int32_t GetLe32(const unsigned char in[4]) {
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
        static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24);
}

// The bytes of a field go to the file as held; a field read from a file always ends in a zero
// byte, so a full field from a foreign or damaged file cannot run into its neighbour.
template <std::size_t N> void CopyIn(char (&dst)[N], const char (&src)[N]) {
    std::memcpy(dst, src, N);
    dst[N - 1] = '\0';
}

std::string JoinPath(const std::string& directory, const char* file) {
    if (directory.empty()) {
        return file;
    }
    return directory.back() == '/' ? directory + file : directory + "/" + file;
}

} // namespace

void SBookTraits<CMailReceiver>::ToRecord(const CMailReceiver& e, Record& r) {
    PutLe32(r.Enabled, e.Enabled);
    std::memcpy(r.Name, e.Name, sizeof r.Name);
    std::memcpy(r.Address, e.Address, sizeof r.Address);
}

void SBookTraits<CMailReceiver>::FromRecord(const Record& r, CMailReceiver& e) {
    e.Enabled = GetLe32(r.Enabled);
    CopyIn(e.Name, r.Name);
    CopyIn(e.Address, r.Address);
}

void SBookTraits<CMessageReceiver>::ToRecord(const CMessageReceiver& e, Record& r) {
    PutLe32(r.Enabled, e.Enabled);
    std::memcpy(r.Computer, e.Computer, sizeof r.Computer);
}

void SBookTraits<CMessageReceiver>::FromRecord(const Record& r, CMessageReceiver& e) {
    e.Enabled = GetLe32(r.Enabled);
    CopyIn(e.Computer, r.Computer);
}

template <class TEntry> std::vector<TEntry> CAddressBook<TEntry>::Decode(std::string_view bytes) {
    using Record = typename SBookTraits<TEntry>::Record;
    std::vector<TEntry> entries;
    entries.reserve(bytes.size() / kRecordSize);
    for (std::size_t at = 0; bytes.size() - at >= kRecordSize; at += kRecordSize) {
        Record record;
        std::memcpy(&record, bytes.data() + at, kRecordSize);
        TEntry entry;
        SBookTraits<TEntry>::FromRecord(record, entry);
        entries.push_back(std::move(entry));
    }
    return entries;
}

template <class TEntry>
std::string CAddressBook<TEntry>::Encode(const std::vector<TEntry>& entries) {
    using Record = typename SBookTraits<TEntry>::Record;
    std::string bytes;
    bytes.reserve(entries.size() * kRecordSize);
    for (const TEntry& entry : entries) {
        Record record;
        SBookTraits<TEntry>::ToRecord(entry, record);
        bytes.append(reinterpret_cast<const char*>(&record), kRecordSize);
    }
    return bytes;
}

template <class TEntry> bool CAddressBook<TEntry>::Load(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_entries.empty()) {
        return false;
    }
    std::string bytes;
    switch (ReadWholeFile(path, bytes, kMaxFileSize)) {
    case EReadResult::Ok:
        m_entries = Decode(bytes);
        m_keepFile = false;
        return true;
    case EReadResult::Missing:
        m_keepFile = false;
        return false;
    case EReadResult::Failed:
        m_keepFile = true;
        return false;
    }
    return false;
}

template <class TEntry> bool CAddressBook<TEntry>::Save(const std::string& path) {
    std::string bytes;
    BeforeRenameHook hook;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_keepFile) {
            return false;
        }
        bytes = Encode(m_entries);
        hook = m_hook;
    }
    return WriteFileAtomically(path, bytes, hook);
}

template <class TEntry> std::vector<TEntry> CAddressBook<TEntry>::Entries() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries;
}

template <class TEntry> std::size_t CAddressBook<TEntry>::Count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries.size();
}

template <class TEntry> bool CAddressBook<TEntry>::Remove(std::size_t index) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index >= m_entries.size()) {
        return false;
    }
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

template <class TEntry>
void CAddressBook<TEntry>::ApplyCheckStates(const std::vector<bool>& checked) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (std::size_t i = 0; i < checked.size() && i < m_entries.size(); ++i) {
        m_entries[i].Enabled = checked[i] ? 1 : 0;
    }
}

template <class TEntry> void CAddressBook<TEntry>::SetBeforeRenameHook(BeforeRenameHook hook) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hook = std::move(hook);
}

template <class TEntry>
int CAddressBook<TEntry>::AddUnique(const TEntry& entry, KeyOf key, int blankId, int existsId) {
    const std::string_view stored = key(entry);
    if (stored.empty()) {
        return blankId;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const TEntry& other : m_entries) {
        if (key(other) == stored) {
            return existsId;
        }
    }
    m_entries.push_back(entry);
    return 0;
}

template <class TEntry>
std::vector<std::string> CAddressBook<TEntry>::EnabledKeys(KeyOf key) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> out;
    for (const TEntry& entry : m_entries) {
        if (entry.Enabled == 1) {
            out.emplace_back(key(entry));
        }
    }
    return out;
}

template class CAddressBook<CMailReceiver>;
template class CAddressBook<CMessageReceiver>;

namespace {
std::string_view AddressOf(const CMailReceiver& entry) {
    return FixedText::Get(entry.Address);
}
std::string_view ComputerOf(const CMessageReceiver& entry) {
    return FixedText::Get(entry.Computer);
}
} // namespace

int CMailBook::AddUser(bool enabled, std::string_view name, std::string_view address) {
    CMailReceiver entry;
    entry.Enabled = enabled ? 1 : 0;
    FixedText::Set(entry.Name, name);
    FixedText::Set(entry.Address, address);
    return AddUnique(entry, AddressOf, SettingsMsg::kMailAddressBlank,
                     SettingsMsg::kMailAddressExists);
}

std::vector<std::string> CMailBook::EnabledAddresses() const {
    return EnabledKeys(AddressOf);
}

int CMessageBook::AddComputer(bool enabled, std::string_view computer) {
    CMessageReceiver entry;
    entry.Enabled = enabled ? 1 : 0;
    FixedText::Set(entry.Computer, computer);
    return AddUnique(entry, ComputerOf, SettingsMsg::kComputerNameBlank,
                     SettingsMsg::kComputerNameExists);
}

std::vector<std::string> CMessageBook::EnabledComputers() const {
    return EnabledKeys(ComputerOf);
}

void LoadAddressBooks(CMailBook& mail, CMessageBook& message, const std::string& directory) {
    mail.Load(JoinPath(directory, kMailBookFile));
    message.Load(JoinPath(directory, kMessageBookFile));
}

bool SaveMailBook(CMailBook& mail, const std::string& directory) {
    return mail.Save(JoinPath(directory, kMailBookFile));
}

bool SaveMessageBook(CMessageBook& message, const std::string& directory) {
    return message.Save(JoinPath(directory, kMessageBookFile));
}
