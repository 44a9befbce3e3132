#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "controller/PadApplication.h"
#include "entry/SelfTest.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv, argv + argc);
    if (sumiro::wantsSelfTest(arguments)) {
        return sumiro::runSelfTest(arguments, std::cout);
    }
    // "--resources DIR" reads the character data from DIR instead of the installed copy;
    // "--language ja|en" chooses the pad's language instead of the user's locale.
    std::optional<std::filesystem::path> resources;
    std::optional<sumiro::Language> language;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--resources" && i + 1 < arguments.size()) {
            resources = arguments[++i];
        } else if (arguments[i] == "--language") {
            const std::string name = i + 1 < arguments.size() ? arguments[++i] : std::string();
            language = sumiro::languageNamed(name);
            if (!language) {
                std::cerr << "sumiro: --language takes ja or en, not \"" << name << "\"\n";
                return 2;
            }
        }
    }
    return sumiro::runPad(argc, argv, resources, language);
}
