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

// A program running beside the test, its standard output read line by line.
class RunningProgram {
public:
    RunningProgram(const std::string& program, const std::vector<std::string>& args);
    ~RunningProgram(); // a program still running is killed
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // The next line without its line break; empty at the end of the output or after 30 s of silence.
    std::string readLine();
    void signal(int number);
    // Waits for the end; the exit code, or 128 + the signal that ended it.
    int wait();

private:
    int pid_ = -1;
    int out_ = -1;
    std::string pending_;
};

// Path of a program laid out in the suite directory by the build.
std::string SuiteProgram(const std::string& name);

} // namespace pavoline::test
