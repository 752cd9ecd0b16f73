#pragma once
// Whole-file reads and crash-safe whole-file writes for the settings file and the address
// books: a save goes to a temporary file "<file>.tmp.XXXXXX" of its own in the same directory,
// is synced, and only then renamed over the old file, so a crash or a full disk leaves either
// the old or the new file, never a half-written one, and two savers of one file never write
// into or rename each other's temporary file.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

enum class EReadResult {
    Ok,      // the whole file is in `out`
    Missing, // no such file: the caller's defaults apply
    Failed,  // it exists but could not be read, is no regular file, or is larger than allowed
};

EReadResult ReadWholeFile(const std::string& path, std::string& out, std::size_t maxBytes);

// Runs after the temporary file is complete and synced, before the rename. Returning false
// abandons the save at that point (the temporary file stays, the old file is untouched), which
// is exactly the state an interrupted save leaves behind.
using BeforeRenameHook = std::function<bool(const std::string& tempPath)>;

// A save holds an exclusive lock on its temporary file until the rename; a temporary file of
// the same name pattern that nobody holds is the leftover of an interrupted save, and the next
// save of that file removes it.
inline constexpr char kTempInfix[] = ".tmp.";

// Writes `data` as the new content of `path`. Returns false, with the old file untouched, when
// the directory is not writable, the old file is marked read-only, the disk is full, or the
// hook stopped it. A new file gets mode 0644 (less the umask), a replaced one keeps its mode.
bool WriteFileAtomically(const std::string& path, std::string_view data,
                         const BeforeRenameHook& hook = {});
