#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace sumiro {

/// The desktop file id Sumiro is installed under; the autostart entry has the same name.
inline constexpr std::string_view kDesktopId = "jp.local.Sumiro";

/// The user's XDG configuration directory: `xdgConfigHome` when it is an absolute path, else
/// `home`/.config. Either argument may be null (unset). Empty when neither gives a directory.
std::filesystem::path userConfigHome(const char* xdgConfigHome, const char* home);

/// `path` as one argument of a desktop entry's Exec key, escaped for the string value that holds
/// it: quoted when it has a reserved character, '%' doubled. Throws std::runtime_error naming the
/// path when an entry cannot hold it: not UTF-8, or a control character other than tab, newline
/// and carriage return.
std::string desktopExecArgument(std::string_view path);

/// The user's entry in the XDG autostart directory that starts Sumiro at login. Plain file work,
/// no display needed; the status menu shows `enabled` and calls `setEnabled`.
class Autostart {
public:
    /// The entry `configHome`/autostart/jp.local.Sumiro.desktop, starting `executable`.
    Autostart(std::filesystem::path configHome, std::filesystem::path executable);

    /// For the current user's environment and the running executable.
    static Autostart forCurrentUser();

    const std::filesystem::path& entryPath() const { return entry_; }

    /// True when the entry exists and is not switched off inside (Hidden=true, or the
    /// X-GNOME-Autostart-enabled=false a desktop's own settings may write).
    bool enabled() const;

    /// Writes the entry (atomically: a complete file or the old state) or removes it.
    /// Throws std::runtime_error naming the file and the system's reason.
    void setEnabled(bool on) const;

    /// The entry's text. Throws std::runtime_error when the executable's path cannot be written
    /// in an entry that desktops load: as for `desktopExecArgument`, and for a path with '%'.
    std::string entryText() const;

private:
    std::filesystem::path entry_;
    std::filesystem::path executable_;
};

}  // namespace sumiro
