#include "AtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
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

std::string BaseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

constexpr std::size_t kTempSuffixLength = 6;

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes the temporary files of earlier saves of `base` that no live save holds.
void RemoveLeftovers(const std::string& dir, const std::string& base) {
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        return;
    }
    DIR* listing = ::fdopendir(dirFd);
    if (listing == nullptr) {
        ::close(dirFd);
        return;
    }
    const std::string prefix = base + kTempInfix;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name(entry->d_name);
        if (name.size() != prefix.size() + kTempSuffixLength ||
            name.substr(0, prefix.size()) != prefix) {
            continue;
        }
        CFd fd(::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened {};
        if (fd.Get() < 0 || ::fstat(fd.Get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
            ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
            continue; // not ours, or a save in progress
        }
        struct stat named {};
        if (::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            SameFile(opened, named)) {
            ::unlinkat(dirFd, entry->d_name, 0);
        }
    }
    ::closedir(listing);
}

// Creates "<target>.tmp.XXXXXX" exclusively (as mkstemp does, but with the file's own mode
// rather than 0600) and locks it. Leaves the path in `temp`; -1 on failure.
int CreateLockedTemp(const std::string& target, mode_t mode, std::string& temp) {
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = target + kTempInfix;
        for (std::size_t i = 0; i < kTempSuffixLength; ++i) {
            temp += kChars[pick(random)];
        }
        const int fd =
            ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return -1;
        }
        // Between the creation and the lock another save may have taken the file for a
        // leftover and removed it; then this one starts again under a new name.
        struct stat opened {
        }, named{};
        if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &opened) == 0 &&
            ::lstat(temp.c_str(), &named) == 0 && SameFile(opened, named)) {
            return fd;
        }
        ::close(fd);
    }
    return -1;
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

bool WriteFileAtomically(const std::string& path, std::string_view data,
                         const BeforeRenameHook& hook) {
    if (path.empty()) {
        return false;
    }
    const std::string target = ResolveTarget(path);

    mode_t mode = 0644;
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0;
    if (replacing) {
        if (!S_ISREG(old.st_mode) || ::access(target.c_str(), W_OK) != 0) {
            return false; // a read-only file is the user's decision, not ours to replace
        }
        mode = old.st_mode & 07777;
    }

    const std::string dir = DirectoryOf(target);
    RemoveLeftovers(dir, BaseNameOf(target));
    std::string temp;
    // The descriptor stays open, and so the lock held, until the rename is done.
    CFd fd(CreateLockedTemp(target, mode, temp));
    if (fd.Get() < 0) {
        return false;
    }
    bool ok = WriteAll(fd.Get(), data) && ::fsync(fd.Get()) == 0;
    if (ok && replacing) {
        ok = ::fchmod(fd.Get(), mode) == 0; // the umask must not narrow a replaced file's mode
    }
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
    SyncDirectory(dir);
    return true;
}
