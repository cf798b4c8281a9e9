#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace quenlow {

namespace {

// Read access is enough for flock. Opening an existing file without O_CREAT first lets a copy run by
// another user lock a file it does not own, even where the system refuses O_CREAT on other users' files
// in shared folders.
int open_lock_file(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    return fd;
}

}  // namespace

std::string instance_lock_path(std::string_view runtime_dir) {
    std::string folder = runtime_dir.empty() ? std::string("/tmp") : std::string(runtime_dir);
    if (folder.back() != '/') folder += '/';
    return folder + std::string(kInstanceLockFileName);
}

std::string default_instance_lock_path() {
    const char* runtime_dir = std::getenv("XDG_RUNTIME_DIR");
    return instance_lock_path(runtime_dir ? runtime_dir : "");
}

SingleInstance::SingleInstance(std::string lock_path) : lock_path_(std::move(lock_path)) {}

SingleInstance::~SingleInstance() {
    release();
}

bool SingleInstance::acquire() {
    if (held()) return true;
    const int fd = open_lock_file(lock_path_);
    if (fd < 0) return true;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        fd_ = fd;
        return true;
    }
    const bool taken = errno == EWOULDBLOCK;
    ::close(fd);
    return !taken;
}

void SingleInstance::release() {
    if (!held()) return;
    ::close(fd_);  // closing the only descriptor of the open file drops its lock
    fd_ = -1;
}

}  // namespace quenlow
