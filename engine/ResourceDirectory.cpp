#include "engine/ResourceDirectory.h"

#include <array>
#include <system_error>

namespace sumiro {

std::filesystem::path defaultResourceDirectory(const std::filesystem::path& executable) {
    std::error_code error;
    std::filesystem::path self = std::filesystem::canonical(executable, error);
    if (error) {
        self = std::filesystem::absolute(executable, error);
    }
    const std::filesystem::path dir = self.parent_path();
    const std::array<std::filesystem::path, 4> candidates = {
        dir / "resources",
        dir / ".." / "share" / "sumiro",
        std::filesystem::path(SUMIRO_INSTALL_DATA_DIR),
        std::filesystem::path(SUMIRO_BUILD_RESOURCE_DIR),
    };
    for (const auto& candidate : candidates) {
        if (std::filesystem::is_regular_file(candidate / "characters.json", error)) {
            return candidate.lexically_normal();
        }
    }
    return candidates.front();
}

}  // namespace sumiro
