#include "desktop/Autostart.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

namespace sumiro {

namespace {

std::runtime_error fileError(const std::string& what, const std::filesystem::path& path,
                             int error) {
    return std::runtime_error(what + " " + path.string() + ": " + std::strerror(error));
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Closes the descriptor and removes the temporary file unless the write went through.
class PendingFile {
public:
    PendingFile(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
    ~PendingFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        if (!committed_) {
            ::unlink(path_.c_str());
        }
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    int fd() const { return fd_; }
    const std::filesystem::path& path() const { return path_; }
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }
    void commit() { committed_ = true; }

private:
    int fd_;
    std::filesystem::path path_;
    bool committed_ = false;
};

void writeAtomically(const std::filesystem::path& file, std::string_view content) {
    std::string pattern = file.string() + ".XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        throw fileError("cannot create a file beside", file, errno);
    }
    PendingFile pending(fd, pattern);
    for (std::size_t written = 0; written < content.size();) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw fileError("cannot write", pending.path(), errno);
        }
        written += static_cast<std::size_t>(n);
    }
    // mkstemp makes the file private; an autostart entry is an ordinary readable file.
    if (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0 || pending.close() != 0) {
        throw fileError("cannot write", pending.path(), errno);
    }
    if (::rename(pending.path().c_str(), file.c_str()) != 0) {
        throw fileError("cannot replace", file, errno);
    }
    pending.commit();
    // The rename itself survives a crash only once the directory is on disk too.
    const int dir = ::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

std::filesystem::path homeFromPasswd() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return {};
}

std::filesystem::path runningExecutable() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    // Replaced on disk while running (a package upgrade): the kernel appends " (deleted)",
    // and the new file at the old path is the one to start next time.
    constexpr std::string_view kDeleted = " (deleted)";
    std::string text = self.string();
    if (text.size() > kDeleted.size() && text.ends_with(kDeleted) &&
        !std::filesystem::exists(self, error)) {
        text.resize(text.size() - kDeleted.size());
        self = text;
    }
    return self;
}

}  // namespace

std::filesystem::path userConfigHome(const char* xdgConfigHome, const char* home) {
    // XDG says a relative XDG_CONFIG_HOME is to be ignored.
    if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') {
        return xdgConfigHome;
    }
    if (home != nullptr && home[0] == '/') {
        return std::filesystem::path(home) / ".config";
    }
    return {};
}

std::string desktopExecArgument(std::string_view path) {
    constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string argument;
    if (path.find_first_of(kReserved) == std::string_view::npos) {
        argument = path;
    } else {
        argument = "\"";
        for (const char c : path) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') {
                argument += '\\';
            }
            argument += c;
        }
        argument += '"';
    }
    // Field codes, then the escapes of a string value, which are undone first when reading.
    std::string value;
    for (const char c : argument) {
        switch (c) {
            case '%':
                value += "%%";
                break;
            case '\\':
                value += "\\\\";
                break;
            case '\n':
                value += "\\n";
                break;
            case '\t':
                value += "\\t";
                break;
            case '\r':
                value += "\\r";
                break;
            default:
                value += c;
        }
    }
    return value;
}

Autostart::Autostart(std::filesystem::path configHome, std::filesystem::path executable)
    : entry_(configHome / "autostart" / (std::string(kDesktopId) + ".desktop")),
      executable_(std::move(executable)) {}

Autostart Autostart::forCurrentUser() {
    std::filesystem::path config = userConfigHome(::getenv("XDG_CONFIG_HOME"), ::getenv("HOME"));
    if (config.empty()) {
        config = homeFromPasswd() / ".config";
    }
    return Autostart(config, runningExecutable());
}

bool Autostart::enabled() const {
    // A directory opens as a stream that reads nothing, which would look like an entry.
    std::error_code error;
    if (!std::filesystem::is_regular_file(entry_, error)) {
        return false;
    }
    std::ifstream in(entry_);
    if (!in) {
        return false;
    }
    bool inEntry = false;
    for (std::string raw; std::getline(in, raw);) {
        const std::string_view line = trimmed(raw);
        if (line.starts_with('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const auto equals = line.find('=');
        if (!inEntry || equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = trimmed(line.substr(0, equals));
        const std::string_view value = trimmed(line.substr(equals + 1));
        if ((key == "Hidden" && value == "true") ||
            (key == "X-GNOME-Autostart-enabled" && value == "false")) {
            return false;
        }
    }
    return true;
}

void Autostart::setEnabled(bool on) const {
    if (!on) {
        if (::unlink(entry_.c_str()) != 0 && errno != ENOENT) {
            throw fileError("cannot remove", entry_, errno);
        }
        return;
    }
    std::error_code error;
    std::filesystem::create_directories(entry_.parent_path(), error);
    if (error) {
        throw fileError("cannot create", entry_.parent_path(), error.value());
    }
    writeAtomically(entry_, entryText());
}

std::string Autostart::entryText() const {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Sumiro\n"
           "Name[ja]=Sumiro\n"
           "Comment=Japanese character-input pad, started at login\n"
           "Comment[ja]=ログイン時に起動する日本語の文字入力パッド\n"
           "Exec=" +
           desktopExecArgument(executable_.string()) +
           "\n"
           "Icon=" +
           std::string(kDesktopId) +
           "\n"
           "Terminal=false\n"
           "StartupNotify=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

}  // namespace sumiro
