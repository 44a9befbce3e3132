#pragma once

#include <stdio.h>
#include <sys/wait.h>

#include <string>
#include <utility>

namespace sumiro::testing {

/// Runs `command` with the shell and returns its exit status (-1 when it did not exit) and
/// everything it wrote to its output and its error output.
inline std::pair<int, std::string> runCommand(const std::string& command) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return {-1, "cannot start: " + command};
    std::string output;
    char buffer[512];
    while (::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

}  // namespace sumiro::testing
