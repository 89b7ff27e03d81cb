#pragma once
// Runs the host program on a script and collects what it printed.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

struct CScriptResult
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string readWholeFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

//! The host's own lines of standard error (errors, messages, warnings, timings, progress, assertions),
//! without what GTK or other libraries may print there.
inline std::string ownLines(const std::string& text)
{
    std::istringstream lines(text);
    std::string kept;
    for (std::string line; std::getline(lines, line);)
    {
        const bool own = line.find(": error: ") != std::string::npos || line.rfind("message: ", 0) == 0 ||
                         line.rfind("warning: ", 0) == 0 || line.rfind("timing: ", 0) == 0 ||
                         line.rfind("assertion: ", 0) == 0 || line.rfind("failed: ", 0) == 0 ||
                         line.rfind("plug-in error: ", 0) == 0 || line.rfind("progress: ", 0) == 0;
        if (own)
            kept += line + "\n";
    }
    return kept;
}

//! Writes the lines to NAME.script in a scratch folder and runs velmora on it.
inline CScriptResult runVelmoraScript(const std::string& name, const std::vector<std::string>& lines,
                                      const std::string& arguments)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(VELMORA_TEST_BINARY_DIR) / "scripts";
    fs::create_directories(folder);
    const fs::path script = folder / (name + ".script");
    {
        std::ofstream file(script);
        for (const std::string& line : lines)
            file << line << "\n";
    }
    const fs::path out = folder / (name + ".out");
    const fs::path err = folder / (name + ".err");
    // NO_AT_BRIDGE: no accessibility bus under Xvfb, and no warnings about it.
    const std::string command = std::string("NO_AT_BRIDGE=1 '") + VELMORA_EXECUTABLE + "' " + arguments + " --script '" +
                                script.string() + "' >'" + out.string() + "' 2>'" + err.string() + "'";
    CScriptResult result;
    // LeakSanitizer, which checks for leaks as the process ends, now and then crashes while it
    // stops the process's threads ("LeakSanitizer has encountered a fatal error", exit code 1):
    // the tool failed, not the run, so that run is made once more, leak check included.
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        const int status = std::system(command.c_str());
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = readWholeFile(out);
        const std::string printed = readWholeFile(err);
        result.err = ownLines(printed);
        // What the libraries printed is left out of `err`, but a run that failed for a reason
        // of theirs (a lost display, a sanitizer report) says so in the test's log.
        if (result.exitCode != 0 && printed.size() > result.err.size())
            std::cerr << "standard error of " << name << " (exit code " << result.exitCode << "):\n" << printed << std::endl;
        if (result.exitCode == 0 || printed.find("LeakSanitizer has encountered a fatal error") == std::string::npos)
            break;
    }
    return result;
}

//! The label lines ("label N: COUNT") of each "print info" block of a script's output, in order.
inline std::vector<std::string> labelBlocks(const std::string& out)
{
    std::vector<std::string> blocks;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
    {
        if (line.rfind("volume:", 0) == 0)
            blocks.emplace_back();
        else if (line.rfind("label ", 0) == 0 && !blocks.empty())
            blocks.back() += line + "\n";
    }
    return blocks;
}
