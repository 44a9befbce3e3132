#include "engine/ResourceDirectory.h"

#include <array>
#include <system_error>

namespace sumiro {

namespace {

std::array<std::filesystem::path, 4> candidates(const std::filesystem::path& executable) {
    std::error_code error;
    std::filesystem::path self = std::filesystem::canonical(executable, error);
    if (error) {
        self = std::filesystem::absolute(executable, error);
    }
    const std::filesystem::path dir = self.parent_path();
    return {
        dir / "resources",
        dir / ".." / "share" / "sumiro",
        std::filesystem::path(SUMIRO_INSTALL_DATA_DIR),
        std::filesystem::path(SUMIRO_BUILD_RESOURCE_DIR),
    };
}

}  // namespace

std::filesystem::path defaultResourceDirectory(const std::filesystem::path& executable) {
    if (auto found = findResource(executable, "characters.json")) return found->parent_path();
    return candidates(executable).front();
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
