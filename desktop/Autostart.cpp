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

#include "engine/ResourceDirectory.h"

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

// Well-formed UTF-8: no stray continuation byte, overlong form, surrogate or value past U+10FFFF.
bool isUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80   ? 1
                                   : lead < 0xC2 ? 0
                                   : lead < 0xE0 ? 2
                                   : lead < 0xF0 ? 3
                                   : lead < 0xF5 ? 4
                                                 : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        char32_t value = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            value = (value << 6) | (next & 0x3F);
        }
        constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000)) {
            return false;
        }
        i += length;
    }
    return true;
}

// The path for a message: control characters as \xNN, so that the message stays one line.
std::string printable(std::string_view path) {
    std::string text;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            constexpr char kDigits[] = "0123456789ABCDEF";
            text += "\\x";
            text += kDigits[byte >> 4];
            text += kDigits[byte & 0xF];
        } else {
            text += c;
        }
    }
    return text;
}

std::runtime_error unwritablePath(std::string_view path, const std::string& reason) {
    return std::runtime_error("cannot start at login from " + printable(path) + ": " + reason);
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
    if (!isUtf8(path)) {
        throw unwritablePath(path, "a desktop entry holds UTF-8 text only, and this path is not");
    }
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        // Tab, newline and carriage return have escapes; no other control character has one.
        if ((byte < 0x20 && c != '\t' && c != '\n' && c != '\r') || byte == 0x7F) {
            throw unwritablePath(path, "a desktop entry cannot hold a control character");
        }
    }
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
    const std::string text = entryText();  // refuses before anything is created
    std::error_code error;
    std::filesystem::create_directories(entry_.parent_path(), error);
    if (error) {
        throw fileError("cannot create", entry_.parent_path(), error.value());
    }
    writeAtomically(entry_, text);
}

std::string Autostart::entryText() const {
    // Desktops look the program up before they turn "%%" back into "%" (GLib refuses the entry),
    // so a program path with '%' cannot be written in a form that loads.
    if (executable_.string().find('%') != std::string::npos) {
        throw unwritablePath(executable_.string(),
                             "desktop sessions cannot start a program whose path holds '%'");
    }
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
