#pragma once
// Access to one INI file by section and key, in the manner of the desktop's profile functions:
// the file is read once when the object is made, reads and writes work on the copy in memory,
// and Flush() (or the destructor) writes the whole file once, atomically. An object with an
// empty path writes nothing and reads "" from GetString, 0 from GetInt and the given default
// from GetBool.

#include "AtomicFile.h"
#include "IniDocument.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class CIniFile {
public:
    // Values are read into a 300-character buffer: a longer value comes back cut to 299.
    static constexpr std::size_t kValueBufferSize = 300;
    // Larger files are not settings files; they are neither read nor overwritten.
    static constexpr std::size_t kMaxFileSize = 4 * 1024 * 1024;

    explicit CIniFile(std::string path);
    ~CIniFile();
    CIniFile(const CIniFile&) = delete;
    CIniFile& operator=(const CIniFile&) = delete;

    const std::string& Path() const { return m_path; }
    // The file exists but could not be read: its content is unknown, so it is never replaced.
    bool ReadFailed() const { return m_readFailed; }
    // The file was there and has been read.
    bool FileRead() const { return m_fileRead; }

    // The value, or `def` when the key is missing or its value is empty.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view def) const;
    // The value as a decimal: leading blanks skipped, an optional sign, the digits up to the
    // first other character; no digits give 0. Out-of-range numbers saturate at the 32-bit
    // limits.
    std::int32_t GetInt(std::string_view section, std::string_view key, std::int32_t def) const;
    // `def` for a missing or empty value; otherwise true when the value starts with 1, O or Y
    // (either case).
    bool GetBool(std::string_view section, std::string_view key, bool def) const;

    // Writes return false for an empty path or a name that cannot be stored.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool WriteInt(std::string_view section, std::string_view key, std::int32_t value);
    bool WriteBool(std::string_view section, std::string_view key, bool value);
    bool DeleteSection(std::string_view section);

    // Writes the file when anything changed. True when nothing needed writing or the write
    // succeeded; false leaves the file on disk as it was (changes stay pending).
    bool Flush();
    // Drops the pending changes, so the destructor writes nothing.
    void Discard() { m_dirty = false; }

    // Test seam: called between writing the temporary file and renaming it.
    void SetBeforeRenameHook(BeforeRenameHook hook) { m_hook = std::move(hook); }

    // The decimal rule of GetInt on its own.
    static std::int32_t ParseDecimal(std::string_view text);

private:
    std::string m_path;
    CIniDocument m_doc;
    bool m_readFailed = false;
    bool m_fileRead = false;
    bool m_dirty = false;
    BeforeRenameHook m_hook;
};
