#pragma once
// The one settings object of the utility. It owns the record, reads it from the INI file at
// construction and writes it back on Save() and at destruction. The window changes the record
// through Update(); monitor and notification threads read it through Snapshot(), so they always
// see one consistent record, never a half-applied change.

#include "AtomicFile.h"
#include "SettingsRecord.h"

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

// The running program's own path with ".ini": a trailing ".exe" is replaced, otherwise
// ".ini" is appended. Empty when the program's path cannot be found.
std::string DefaultSettingsPath();
std::string SettingsPathForProgram(std::string_view programPath);

class CSettingsStore {
public:
    CSettingsStore(); // DefaultSettingsPath()
    explicit CSettingsStore(std::string path);
    ~CSettingsStore();
    CSettingsStore(const CSettingsStore&) = delete;
    CSettingsStore& operator=(const CSettingsStore&) = delete;

    const std::string& Path() const { return m_path; }

    // Reads every key with its default. A missing or unreadable file gives the defaults and
    // creates nothing. Returns true when the file was there and read.
    bool Load();

    // Writes the five sections in one atomic replacement of the file; other sections of the
    // file stay. False when the file could not be written (no path, directory or file not
    // writable, disk full): the old file and the record in memory are then unchanged.
    bool Save();

    SettingsRecord Snapshot() const;
    void Update(const std::function<void(SettingsRecord&)>& change);

    // After a failed or abandoned login the program ends without saving.
    void SetSaveOnDestroy(bool save) { m_saveOnDestroy = save; }

    // Test seam, see WriteFileAtomically.
    void SetBeforeRenameHook(BeforeRenameHook hook);

    // The file forms of the SMTP password.
    static std::string EncodePassword(std::string_view password);
    static std::string DecodePassword(std::string_view text);

private:
    const std::string m_path;
    mutable std::mutex m_mutex; // guards m_record
    SettingsRecord m_record;
    std::mutex m_saveMutex; // one file write at a time; guards m_hook
    BeforeRenameHook m_hook;
    bool m_saveOnDestroy = true;
};
