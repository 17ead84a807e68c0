#include "common/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace corvalis {

namespace {

std::string reason(const std::string& what, const std::string& path, int error) {
    errno = error;
    return what + " " + path + ": " + std::strerror(error);
}

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes the rename itself durable; not every file system allows it, so it is best effort.
void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// A new, empty temporary file beside `path`: ".<name>.<pid>.<n>.part". -1 with errno.
int createTemporary(const std::string& path, mode_t mode, std::string& temporary) {
    static std::atomic<unsigned> counter{0};
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder + "." + name + "." + std::to_string(::getpid()) + "." +
                    std::to_string(counter.fetch_add(1, std::memory_order_relaxed)) + ".part";
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

bool replaceFile(const std::string& path, const std::function<bool(std::FILE*)>& fill,
                 std::string& error) {
    if (path.empty() || path.back() == '/') {
        error = reason("cannot write", path, EISDIR);
        return false;
    }
    mode_t mode = 0666;  // narrowed by the umask for a new file
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode)) {
            errno = S_ISDIR(existing.st_mode) ? EISDIR : EINVAL;
            error = "refusing to replace " + path + ": not a regular file";
            return false;
        }
        // No write bit at all is a read-only file also for a user whom access() lets
        // write anything.
        if ((existing.st_mode & 0222) == 0) {
            error = reason("refusing to replace", path, EACCES);
            return false;
        }
        if (::access(path.c_str(), W_OK) != 0) {
            error = reason("refusing to replace", path, errno);
            return false;
        }
        mode = existing.st_mode & 07777;
    } else if (errno != ENOENT) {
        error = reason("cannot write", path, errno);
        return false;
    }

    std::string temporary;
    const int fd = createTemporary(path, mode, temporary);
    if (fd < 0) {
        error = reason("cannot write", path, errno);
        return false;
    }
    // A kept file's permission bits, whatever the umask made of them.
    if (mode != 0666) ::fchmod(fd, mode);
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        const int saved = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        error = reason("cannot write", path, saved);
        return false;
    }
    errno = 0;
    bool ok = fill(file);
    int saved = errno != 0 ? errno : EIO;
    if (ok && (std::fflush(file) != 0 || ::fsync(fd) != 0)) {
        ok = false;
        saved = errno;
    }
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        error = reason("cannot write", path, saved);
        return false;
    }
    syncFolder(folderOf(path));
    return true;
}

}  // namespace corvalis
