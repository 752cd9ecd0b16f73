#include "AtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class CFd {
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A settings file kept behind a symbolic link is updated where it really lives, so the link
// survives the rename.
std::string ResolveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) {
            return resolved;
        }
    }
    return path;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

void SyncDirectory(const std::string& dir) {
    CFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() >= 0) {
        (void)::fsync(fd.Get());
    }
}

} // namespace

EReadResult ReadWholeFile(const std::string& path, std::string& out, std::size_t maxBytes) {
    out.clear();
    // Without O_NONBLOCK the open of a FIFO waits for a writer, which may never come; the type
    // is known only once the file is open.
    CFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) {
        return errno == ENOENT ? EReadResult::Missing : EReadResult::Failed;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return EReadResult::Failed;
    }
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            out.clear();
            return EReadResult::Failed;
        }
        if (n == 0) {
            return EReadResult::Ok;
        }
        if (out.size() + static_cast<std::size_t>(n) > maxBytes) {
            out.clear();
            return EReadResult::Failed;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

std::string TempPathFor(const std::string& path) {
    return ResolveTarget(path) + ".tmp";
}

bool WriteFileAtomically(const std::string& path, std::string_view data,
                         const BeforeRenameHook& hook) {
    if (path.empty()) {
        return false;
    }
    const std::string target = ResolveTarget(path);
    const std::string temp = target + ".tmp";

    mode_t mode = 0644;
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0;
    if (replacing) {
        if (!S_ISREG(old.st_mode) || ::access(target.c_str(), W_OK) != 0) {
            return false; // a read-only file is the user's decision, not ours to replace
        }
        mode = old.st_mode & 07777;
    }

    ::unlink(temp.c_str()); // a leftover of an interrupted save, possibly with odd permissions
    CFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
    if (fd.Get() < 0) {
        return false;
    }
    bool ok = WriteAll(fd.Get(), data) && ::fsync(fd.Get()) == 0;
    if (ok && replacing) {
        ok = ::fchmod(fd.Get(), mode) == 0; // the umask must not narrow a replaced file's mode
    }
    ok = fd.Close() && ok;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    if (hook && !hook(temp)) {
        return false;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    SyncDirectory(DirectoryOf(target));
    return true;
}
