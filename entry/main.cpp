#include <iostream>
#include <string>
#include <vector>

#include "entry/SelfTest.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv, argv + argc);
    if (sumiro::wantsSelfTest(arguments)) {
        return sumiro::runSelfTest(arguments, std::cout);
    }
    std::cerr << "sumiro: the input pad is not part of this build yet; "
                 "run \"sumiro --self-test DIR\" to check the character data and the engine\n";
    return 2;
}
