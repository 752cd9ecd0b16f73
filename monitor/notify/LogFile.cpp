#include "LogFile.h"

#include "TextSafety.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

std::string FormatLogLine(const std::tm& local, std::string_view text) {
    std::string line = std::to_string(local.tm_year + 1900) + "/" +
                       std::to_string(local.tm_mon + 1) + "/" + std::to_string(local.tm_mday) +
                       "  " + std::to_string(local.tm_hour) + ":" + std::to_string(local.tm_min) +
                       ":" + std::to_string(local.tm_sec) + " ";
    line += OneLineText(text);
    line += "\r\n";
    return line;
}

CLogFile::~CLogFile() {
    Close();
}

bool CLogFile::Open(const std::string& path) {
    std::unique_lock lock(m_lock);
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    // O_APPEND makes the move to the end and the write one step, whoever else appends.
    // O_NONBLOCK: a FIFO at the path must not hold start-up in the open.
    const int fd =
        open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void CLogFile::Close() {
    std::unique_lock lock(m_lock);
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

bool CLogFile::IsOpen() const {
    std::shared_lock lock(m_lock);
    return m_fd >= 0;
}

bool CLogFile::Append(std::string_view line) {
    std::shared_lock lock(m_lock);
    if (m_fd < 0) {
        return false;
    }
    ssize_t written;
    do {
        written = write(m_fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(line.size());
}
