#pragma once
// The utility's own log file. One process holds it at a time: it is opened with an exclusive
// lock, so a second instance given the same path fails to open it, as it must. Lines are
// appended, each in one write, so lines of different threads never interleave.

#include <ctime>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>

// "2004/6/5  9:7:3 text\r\n": date and time without zero padding, two blanks between them,
// one blank before the text. Control characters of the text become "?".
std::string FormatLogLine(const std::tm& local, std::string_view text);

class CLogFile {
public:
    CLogFile() = default;
    ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Closes a file held, then opens (creating it, keeping its contents) `path` for reading and
    // writing, relative paths against the current directory. Only a regular file that no other
    // process holds is taken.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const;

    // Appends the line in one write; false when no file is open, or the write failed or was
    // short.
    bool Append(std::string_view line);

private:
    // Writers share it; opening and closing take it alone, so no write reaches a descriptor
    // that was closed (or reused) under it.
    mutable std::shared_mutex m_lock;
    int m_fd = -1;
};
