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
    // "--resources DIR" reads the character data from DIR instead of the installed copy.
    std::optional<std::filesystem::path> resources;
    for (std::size_t i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == "--resources") resources = arguments[i + 1];
    }
    return sumiro::runPad(argc, argv, resources);
}
