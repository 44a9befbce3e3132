#include "engine/ResourceDirectory.h"

#include <array>
#include <string>
#include <system_error>

namespace sumiro {

namespace {

std::array<std::filesystem::path, 2> candidates(const std::filesystem::path& executable) {
    std::error_code error;
    std::filesystem::path self = std::filesystem::canonical(executable, error);
    if (error) {
        self = std::filesystem::absolute(executable, error);
    }
    const std::filesystem::path dir = self.parent_path();
    return {
        dir / "resources",
        (dir / ".." / "share" / "sumiro").lexically_normal(),
    };
}

}  // namespace

std::filesystem::path runningExecutable() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    // Replaced on disk while running: the kernel appends " (deleted)", and the new file at the
    // old path is the one to use.
    constexpr std::string_view kDeleted = " (deleted)";
    std::string text = self.string();
    if (text.size() > kDeleted.size() && text.ends_with(kDeleted) &&
        !std::filesystem::exists(self, error)) {
        text.resize(text.size() - kDeleted.size());
        self = text;
    }
    return self;
}

std::filesystem::path defaultResourceDirectory(const std::filesystem::path& executable) {
    if (auto found = findResource(executable, "characters.json")) return found->parent_path();
    const auto places = candidates(executable);
    std::error_code error;
    return std::filesystem::is_directory(places.front(), error) ? places.front() : places.back();
}

std::optional<std::filesystem::path> findResource(const std::filesystem::path& executable,
                                                  std::string_view name) {
    std::error_code error;
    for (const auto& candidate : candidates(executable)) {
        if (std::filesystem::is_regular_file(candidate / name, error)) {
            return (candidate / name).lexically_normal();
        }
    }
    return std::nullopt;
}

}  // namespace sumiro
