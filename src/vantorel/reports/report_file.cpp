#include "vantorel/reports/report_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace vantorel::reports {
namespace {

std::string reason(int error_number) {
    return std::string(std::strerror(error_number)) + " (os error " + std::to_string(error_number) + ")";
}

std::string failure(std::string_view what, std::string_view path, int error_number) {
    return std::string(what) + " " + std::string(path) + ": " + reason(error_number);
}

// mkdir -p with 0777 less the umask; folders that exist already are fine.
int create_folders(const std::string& folder) {
    std::string prefix;
    std::size_t start = 0;
    while (start <= folder.size()) {
        std::size_t slash = folder.find('/', start);
        if (slash == std::string::npos) slash = folder.size();
        prefix.assign(folder, 0, slash);
        start = slash + 1;
        if (prefix.empty() || prefix.back() == '/') continue;
        if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return errno;
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) return errno;
    if (!S_ISDIR(info.st_mode)) return ENOTDIR;
    return 0;
}

bool write_all(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// A name beside the target that no other writer of this process or another one picks.
std::string temporary_name(const std::string& path) {
    static std::atomic<unsigned long> counter{0};
    return path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
}

}  // namespace

std::optional<std::string> write_report_file(std::string_view path_view, std::string_view text) {
    if (path_view.find('\0') != std::string_view::npos) {
        return "Failed to create file " + std::string(path_view) + ": file name contains an interior NUL byte";
    }
    if (path_view.empty()) return failure("Failed to create file", path_view, ENOENT);
    const std::string path(path_view);
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        if (const int error = create_folders(path.substr(0, slash))) {
            return failure("Failed to create file", path, error);
        }
    }
    // An existing folder (or other non-file) at the path would only fail at the rename, after
    // the whole text was written; refuse it at once.
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
        return failure("Failed to create file", path, EISDIR);
    }
    // A link keeps pointing where it did: the report replaces the file it names, not the link.
    std::string target = path;
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }
    const std::string temporary = temporary_name(target);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return failure("Failed to create file", path, errno);
    auto abandon = [&](std::string message) {
        ::unlink(temporary.c_str());
        return message;
    };
    if (!write_all(fd, text)) {
        const int error = errno;
        ::close(fd);
        return abandon(failure("Failed to write to file", path, error));
    }
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        const int error = errno;
        ::close(fd);
        return abandon(failure("Failed to flush data to file", path, error));
    }
    if (::close(fd) != 0) return abandon(failure("Failed to flush data to file", path, errno));
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        return abandon(failure("Failed to create file", path, errno));
    }
    return std::nullopt;
}

}  // namespace vantorel::reports
