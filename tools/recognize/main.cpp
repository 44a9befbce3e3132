// sumiro-recognize: recognizes inks given as JSON Lines on standard input, one answer a line.
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "engine/CharacterDatabase.h"
#include "engine/ResourceDirectory.h"
#include "tools/recognize/RecognizeProtocol.h"

namespace {

constexpr std::string_view kUsage =
    "usage: sumiro-recognize [--resources DIR] [--limit N] [--distinct]\n"
    "Reads one ink per line on standard input, {\"id\": \"…\", \"strokes\": [[[x, y], …], …]},\n"
    "optionally with \"box\": [width, height], the area it was written in (it tells small kana\n"
    "from full-size ones),\n"
    "and writes one line per ink: {\"id\": \"…\", \"candidates\": [\"木\", …], \"us\": N}.\n"
    "The candidates list a character once per matching template; with --distinct, once.\n";

int usageError(std::string_view message) {
    std::cerr << "sumiro-recognize: " << message << '\n' << kUsage;
    return 2;
}

long long steadyMicroseconds() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

bool blank(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::filesystem::path> resources;
    std::ptrdiff_t limit = sumiro::CharacterDatabase::kDefaultLimit;
    bool distinct = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--distinct") {
            distinct = true;
            continue;
        }
        if ((arg == "--resources" || arg == "--limit") && i + 1 >= argc) {
            return usageError(std::string(arg) + " needs a value");
        }
        if (arg == "--resources") {
            resources = argv[++i];
        } else if (arg == "--limit") {
            const std::string value = argv[++i];
            char* end = nullptr;
            errno = 0;
            const long long parsed = std::strtoll(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || errno != 0 || parsed < 0) {
                return usageError("--limit needs a non-negative integer, not \"" + value + "\"");
            }
            limit = static_cast<std::ptrdiff_t>(parsed);
        } else {
            return usageError("unknown argument \"" + std::string(arg) + "\"");
        }
    }
    if (!resources) {
        resources = sumiro::defaultResourceDirectory(sumiro::runningExecutable());
    }

    std::optional<sumiro::CharacterDatabase> database;
    try {
        database.emplace(*resources);
    } catch (const std::exception& error) {
        std::cerr << "sumiro-recognize: cannot load the character data: " << error.what() << '\n';
        return 1;
    }

    std::ios::sync_with_stdio(false);
    for (std::string line; std::getline(std::cin, line);) {
        if (blank(line)) {
            continue;
        }
        std::cout << sumiro::answerRequest(line, *database, limit, steadyMicroseconds, distinct)
                  << '\n';
        // Answer each line at once, so a caller can drive the tool interactively.
        std::cout.flush();
    }
    return 0;
}
