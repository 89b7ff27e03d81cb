// The main of a fuzz target outside libFuzzer: runs every file of the folders (and every
// file) named on the command line through LLVMFuzzerTestOneInput once, in name order.
// A target aborts on a fault; the input it was running is then named on standard error.
// Exit status 2 when there was nothing to run or an input could not be read.

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

char currentInput[4096] = "";

void nameInputAndAbort(int signal)
{
    const char prefix[] = "replay: aborted on input ";
    const char end[] = "\n";
    // Only async-signal-safe calls here.
    if (::write(STDERR_FILENO, prefix, sizeof prefix - 1) < 0 ||
        ::write(STDERR_FILENO, currentInput, std::strlen(currentInput)) < 0 || ::write(STDERR_FILENO, end, 1) < 0)
    {
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i)
    {
        const fs::path argument(argv[i]);
        if (!fs::is_directory(argument))
        {
            inputs.push_back(argument);
            continue;
        }
        for (const fs::directory_entry& entry : fs::directory_iterator(argument))
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty())
    {
        std::fprintf(stderr, "usage: %s FOLDER_OR_FILE... (no inputs found)\n", argv[0]);
        return 2;
    }
    std::signal(SIGABRT, nameInputAndAbort);
    for (const fs::path& path : inputs)
    {
        std::ifstream in(path, std::ios::binary);
        if (!in)
        {
            std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
            return 2;
        }
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::snprintf(currentInput, sizeof currentInput, "%s", path.c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("replay: %zu inputs ran\n", inputs.size());
    return 0;
}
