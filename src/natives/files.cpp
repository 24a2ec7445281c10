// Whole-file natives and the path helpers of load.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "natives/natives.h"
#include "runtime/files.h"
#include "value/printer.h"

namespace velune {

namespace {

[[noreturn]] void os_failure(std::string_view native, std::string_view action, const std::string& path, int error) {
    throw LispError{"(" + std::string(native) + "): cannot " + std::string(action) + " " + path + ": " +
                    std::strerror(error)};
}

// The operating system stops a path at its first zero byte: such a path would name
// another file than the one the program gave.
const std::string& path_argument(const Runtime& rt, const arg_list& args, std::string_view native) {
    velune::string* path = args.string(0);
    if (path->text.find('\0') != std::string::npos) {
        throw LispError{"(" + std::string(native) + "): the path must not contain a zero byte, got " +
                        describe(rt, path)};
    }
    check_confined_path(rt, native, path->text);
    return path->text;
}

// Writes every byte at the descriptor's offset; false with errno set on a failure.
bool write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// write-file where the file cannot be replaced (a device, a pipe, a file with several names,
// a directory we may not write in). A regular file is written over without truncating it
// first, and on a failure its old bytes are put back: they fit in the blocks they held, so a
// full disk or a file-size limit cannot stop that.
void write_in_place(const std::string& path, const std::string& text) {
    errno = 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) os_failure("write-file", "open", path, errno);
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        os_failure("write-file", "open", path, error);
    }
    if (!S_ISREG(status.st_mode)) {
        if (!write_all(fd, text.data(), text.size())) {
            const int error = errno;
            ::close(fd);
            os_failure("write-file", "write", path, error);
        }
        if (::close(fd) != 0) os_failure("write-file", "close", path, errno);
        return;
    }
    std::string old;
    int error = 0;
    if (status.st_size > 0 && !read_whole_file(path, old, error)) {
        ::close(fd);
        os_failure("write-file", "open", path, error);
    }
    const bool written = write_all(fd, text.data(), text.size()) &&
                         ::ftruncate(fd, static_cast<off_t>(text.size())) == 0 && (::fsync(fd) == 0 || errno == EINVAL);
    if (!written) {
        error = errno;
        if (::pwrite(fd, old.data(), old.size(), 0) == static_cast<ssize_t>(old.size())) {
            if (::ftruncate(fd, static_cast<off_t>(old.size())) != 0) {
                // The old bytes are back; only a longer tail of the new ones may remain.
            }
        }
        ::close(fd);
        os_failure("write-file", "write", path, error);
    }
    if (::close(fd) != 0) os_failure("write-file", "close", path, errno);
}

// What write-file replaces: the path with every symbolic link followed.
struct write_target {
    std::string path;
    bool exists = false;
    struct stat status {};
};

write_target resolve_target(const std::string& path) {
    write_target target{path};
    for (int hops = 0;; ++hops) {
        if (::lstat(target.path.c_str(), &target.status) != 0) {
            if (errno == ENOENT) return target;
            os_failure("write-file", "open", path, errno);
        }
        if (!S_ISLNK(target.status.st_mode)) {
            target.exists = true;
            return target;
        }
        if (hops == 40) os_failure("write-file", "open", path, ELOOP);
        std::vector<char> buffer(static_cast<std::size_t>(target.status.st_size) + 64);
        ssize_t n;
        while ((n = ::readlink(target.path.c_str(), buffer.data(), buffer.size())) ==
               static_cast<ssize_t>(buffer.size())) {
            buffer.resize(buffer.size() * 2);
        }
        if (n < 0) os_failure("write-file", "open", path, errno);
        std::string link(buffer.data(), static_cast<std::size_t>(n));
        // A relative link is relative to the directory that holds it.
        if (link.empty() || link.front() != '/') link.insert(0, target.path.substr(0, target.path.rfind('/') + 1));
        target.path = std::move(link);
    }
}

mode_t current_umask() {
    // Reading the mask means setting it; the process has a single thread.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// A temporary file that disappears unless it was renamed into place.
struct temporary_file {
    std::string path;
    int fd = -1;
    bool settled = false;  // renamed into place, or never created
    ~temporary_file() {
        if (fd >= 0) ::close(fd);
        if (!settled) ::unlink(path.c_str());
    }
};

// Writes the text beside the target and renames it over the target once every byte is on
// disk, so a failure leaves the old content whole. Returns false when the replacement
// cannot be made with the target's owner or in its directory but an in-place write still
// can (a writable file in a directory we may not write).
bool replace_atomically(const std::string& path, const write_target& target, const std::string& text) {
    temporary_file temp{target.path.substr(0, target.path.rfind('/') + 1) + ".velune-XXXXXX"};
    temp.fd = ::mkstemp(temp.path.data());
    if (temp.fd < 0) {
        const int error = errno;
        temp.settled = true;
        if (target.exists && (error == EACCES || error == EPERM || error == EROFS)) return false;
        os_failure("write-file", "open", path, error);
    }
    mode_t mode = 0666 & ~current_umask();
    if (target.exists) {
        struct stat created {};
        if (::fstat(temp.fd, &created) != 0) os_failure("write-file", "open", path, errno);
        if ((created.st_uid != target.status.st_uid || created.st_gid != target.status.st_gid) &&
            ::fchown(temp.fd, target.status.st_uid, target.status.st_gid) != 0) {
            return false;
        }
        mode = target.status.st_mode & 07777;
    }
    if (::fchmod(temp.fd, mode) != 0) os_failure("write-file", "open", path, errno);
    if (!write_all(temp.fd, text.data(), text.size())) os_failure("write-file", "write", path, errno);
    if (::fsync(temp.fd) != 0 && errno != EINVAL) os_failure("write-file", "write", path, errno);
    const int closed = ::close(temp.fd);
    temp.fd = -1;
    if (closed != 0) os_failure("write-file", "close", path, errno);
    if (::rename(temp.path.c_str(), target.path.c_str()) != 0) os_failure("write-file", "replace", path, errno);
    temp.settled = true;
    // The rename itself reaches the disk with the directory; the new content is already
    // whole, so a failure here changes nothing the program could act on.
    const std::string directory = target.path.substr(0, target.path.rfind('/') + 1);
    const int dir = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace

void check_confined_path(const Runtime& rt, std::string_view native, const std::string& path) {
    if (!rt.confine_files) return;
    bool escapes = path.starts_with('/');
    for (std::size_t start = 0; !escapes && start <= path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        escapes = path.compare(start, end - start, "..") == 0;
        start = end + 1;
    }
    if (escapes) {
        throw LispError{"(" + std::string(native) + "): paths are confined to the working directory here, got " + path};
    }
}

value* write_file(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "write-file");
    const std::string& path = path_argument(in.rt, args, "write-file");
    const std::string& text = args.text(1);
    const write_target target = resolve_target(path);
    // Devices, pipes and files with several names are written where they are: replacing
    // them would cut the other names loose or fail.
    const bool replaceable = !target.exists || (S_ISREG(target.status.st_mode) && target.status.st_nlink == 1);
    if (replaceable) {
        // Renaming over a file would succeed where opening it for writing is refused.
        if (target.exists && ::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0) {
            os_failure("write-file", "open", path, errno);
        }
        if (replace_atomically(path, target, text)) return in.rt.nil;
    }
    write_in_place(path, text);
    return in.rt.nil;
}

// Appends every byte or none: on a failure (a full disk, the file-size limit) a regular file
// is cut back to the length it had, and a file this call created is removed.
void append_whole(const std::string& path, const std::string& text) {
    struct stat before {};
    const bool existed = ::stat(path.c_str(), &before) == 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) os_failure("append-file", "open", path, errno);
    struct stat opened {};
    if (::fstat(fd, &opened) != 0) {
        const int error = errno;
        ::close(fd);
        os_failure("append-file", "open", path, error);
    }
    if (!write_all(fd, text.data(), text.size())) {
        const int error = errno;
        if (S_ISREG(opened.st_mode)) {
            if (!existed) {
                ::unlink(path.c_str());
            } else if (::ftruncate(fd, opened.st_size) != 0) {
                // Nothing more can be done; the report still names the first failure.
            }
        }
        ::close(fd);
        os_failure("append-file", "write", path, error);
    }
    if (::close(fd) != 0) os_failure("append-file", "close", path, errno);
}

value* append_file(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "append-file");
    const std::string& path = path_argument(in.rt, args, "append-file");
    append_whole(path, args.text(1));
    return in.rt.nil;
}

value* read_file(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "read-file");
    const std::string& path = path_argument(in.rt, args, "read-file");
    std::string text;
    int error = 0;
    if (!read_whole_file(path, text, error)) os_failure("read-file", "open", path, error);
    return make_string(in.rt, std::move(text));
}

std::string my_basename(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string my_dirname(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return "";
    std::string_view head = path.substr(0, slash + 1);
    const std::size_t last_kept = head.find_last_not_of('/');
    // A head made only of slashes stays as it is.
    if (last_kept == std::string_view::npos) return std::string(head);
    return std::string(head.substr(0, last_kept + 1));
}

}  // namespace velune
