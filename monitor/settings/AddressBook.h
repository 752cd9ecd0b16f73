#pragma once
// The two notification address books and their files. The window changes a book (add, delete,
// check boxes) on its own thread; notification threads read it at the same time, so every
// operation takes the book's lock and readers get copies.

#include "AtomicFile.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class CMailReceiver {
public:
    virtual ~CMailReceiver() = default;

    char Address[64] = {};
    char Name[28] = {};
    std::int32_t Enabled = 0;
};

class CMessageReceiver {
public:
    virtual ~CMessageReceiver() = default;

    char Computer[124] = {};
    std::int32_t Enabled = 0;
};

// File records: no header, no count, one record per entry in book order.
#pragma pack(push, 1)
struct sMAIL_RECORD {
    unsigned char Enabled[4]; // 32-bit little-endian
    char Name[28];
    char Address[64];
};
struct sMSG_RECORD {
    unsigned char Enabled[4]; // 32-bit little-endian
    char Computer[124];
};
#pragma pack(pop)
static_assert(sizeof(sMAIL_RECORD) == 96);
static_assert(offsetof(sMAIL_RECORD, Name) == 4);
static_assert(offsetof(sMAIL_RECORD, Address) == 32);
static_assert(sizeof(sMSG_RECORD) == 128);
static_assert(offsetof(sMSG_RECORD, Computer) == 4);

inline constexpr char kMailBookFile[] = "Mail.dat";
inline constexpr char kMessageBookFile[] = "Msg.dat";

// What the book machinery needs from an entry type; defined for the two entries.
template <class TEntry> struct SBookTraits;

template <> struct SBookTraits<CMailReceiver> {
    using Record = sMAIL_RECORD;
    static void ToRecord(const CMailReceiver& e, Record& r);
    static void FromRecord(const Record& r, CMailReceiver& e);
};

template <> struct SBookTraits<CMessageReceiver> {
    using Record = sMSG_RECORD;
    static void ToRecord(const CMessageReceiver& e, Record& r);
    static void FromRecord(const Record& r, CMessageReceiver& e);
};

template <class TEntry> class CAddressBook {
public:
    static constexpr std::size_t kRecordSize = sizeof(typename SBookTraits<TEntry>::Record);
    // Beyond this a file is not an address book; it is neither loaded nor overwritten.
    static constexpr std::size_t kMaxFileSize = 64 * 1024 * 1024;

    // Reads the file into the book when the book is empty; a partial last record is ignored.
    // A missing file leaves the book empty. Returns true when records were read from a file.
    bool Load(const std::string& path);
    // Replaces the file with every entry in book order, atomically. False when it cannot be
    // written (or when the file that was there at Load could not be read: it is kept).
    bool Save(const std::string& path);

    // The loader and writer on bytes, as the files hold them.
    static std::vector<TEntry> Decode(std::string_view bytes);
    static std::string Encode(const std::vector<TEntry>& entries);

    std::vector<TEntry> Entries() const;
    std::size_t Count() const;
    bool Remove(std::size_t index);
    // The book dialog's "Ok": row i's check box becomes entry i's Enabled.
    void ApplyCheckStates(const std::vector<bool>& checked);

    void SetBeforeRenameHook(BeforeRenameHook hook);

protected:
    // The text that identifies an entry: its address, or its computer name.
    using KeyOf = std::string_view (*)(const TEntry&);
    // Appends the entry unless its key is empty (blankId) or already in the book (existsId);
    // 0 when appended.
    int AddUnique(const TEntry& entry, KeyOf key, int blankId, int existsId);
    // The keys of the entries whose Enabled is 1, in book order.
    std::vector<std::string> EnabledKeys(KeyOf key) const;

    mutable std::mutex m_mutex;
    std::vector<TEntry> m_entries;
    bool m_keepFile = false; // the file could not be read: do not overwrite it
    BeforeRenameHook m_hook;
};

class CMailBook : public CAddressBook<CMailReceiver> {
public:
    // "Add User": 0 when the entry was appended, else the message id to show (the dialog stays
    // open). Texts longer than their fields are cut to the field first; the duplicate check
    // compares what would be stored, byte for byte.
    int AddUser(bool enabled, std::string_view name, std::string_view address);
    // Addresses of the entries whose Enabled is 1, in book order.
    std::vector<std::string> EnabledAddresses() const;
};

class CMessageBook : public CAddressBook<CMessageReceiver> {
public:
    // "Add Computer": 0 when appended, else the message id to show.
    int AddComputer(bool enabled, std::string_view computer);
    // Computer names of the entries whose Enabled is 1, in book order.
    std::vector<std::string> EnabledComputers() const;
};

// Reads "Mail.dat" and "Msg.dat" from `directory` (the current directory when empty).
void LoadAddressBooks(CMailBook& mail, CMessageBook& message, const std::string& directory = {});
bool SaveMailBook(CMailBook& mail, const std::string& directory = {});
bool SaveMessageBook(CMessageBook& message, const std::string& directory = {});
