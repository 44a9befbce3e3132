#include "tools/databuild/OutputFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace sumiro::databuild {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const fs::path& path, const char* what, int error) {
    throw std::runtime_error(path.string() + ": " + what + ": " + std::strerror(error));
}

fs::path withSuffix(const fs::path& path, const char* suffix) {
    fs::path out = path;
    out += suffix;
    return out;
}

// Writes `content` to `path` and flushes it to the disk, so that a full disk shows here and
// not after the rename.
void writeFile(const fs::path& path, const std::string& content) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) fail(path, "cannot create", errno);
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t wrote = ::write(fd, content.data() + done, content.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            const int error = wrote < 0 ? errno : EIO;
            ::close(fd);
            fail(path, "cannot write", error);
        }
        done += static_cast<std::size_t>(wrote);
    }
    if (::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        fail(path, "cannot write", error);
    }
    if (::close(fd) != 0) fail(path, "cannot write", errno);
}

}  // namespace

void replaceTogether(const std::vector<std::pair<fs::path, std::string>>& files) {
    std::vector<fs::path> temporaries;
    std::vector<fs::path> backups;  // the previous version of each file, or empty
    const auto removeAll = [](const std::vector<fs::path>& paths) {
        for (const fs::path& path : paths)
            if (!path.empty()) ::unlink(path.c_str());
    };
    try {
        for (const auto& [path, content] : files) {
            temporaries.push_back(withSuffix(path, ".tmp"));
            writeFile(temporaries.back(), content);
        }
        // The previous versions stay reachable until every new file is in place.
        for (const auto& [path, content] : files) {
            const fs::path backup = withSuffix(path, ".old");
            ::unlink(backup.c_str());
            if (::link(path.c_str(), backup.c_str()) == 0) {
                backups.push_back(backup);
            } else if (errno == ENOENT) {
                backups.emplace_back();
            } else {
                fail(path, "cannot keep the previous version", errno);
            }
        }
    } catch (...) {
        removeAll(temporaries);
        removeAll(backups);
        throw;
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (::rename(temporaries[i].c_str(), files[i].first.c_str()) == 0) continue;
        const int error = errno;
        // Put back what was already replaced.
        for (std::size_t k = 0; k < i; ++k) {
            if (backups[k].empty())
                ::unlink(files[k].first.c_str());
            else
                ::rename(backups[k].c_str(), files[k].first.c_str());
        }
        removeAll(temporaries);
        removeAll(backups);
        fail(files[i].first, "cannot replace", error);
    }
    removeAll(backups);
}

}  // namespace sumiro::databuild
