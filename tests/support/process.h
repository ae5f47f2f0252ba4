#pragma once
// Runs a program as a child process and collects its exit code and output.

#include <string>
#include <vector>

namespace pavoline::test {

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workingDir = "");

// Path of a program laid out in the suite directory by the build.
std::string SuiteProgram(const std::string& name);

} // namespace pavoline::test
