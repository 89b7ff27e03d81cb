// Fuzz target of the script reader's words: splitting a line (quotes, doubled quotes,
// comments, control addresses) and the whole-number parsers the commands use for their
// arguments. Checked against the rules they promise: no word holds a blank unless it came
// from quotes, an error comes only with an unclosed quote, a parsed integer prints back to
// the same value, and a parsed number is finite.

#include "host/ScriptWords.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void check(bool condition, const char* what)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz_script_words: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string line(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto words = velmora::splitScriptLine(line, error);
    const bool quoted = line.find('"') != std::string::npos;
    if (!words) {
        check(!error.empty(), "a refused line without a reason");
        check(quoted, "a line without quotes was refused");
        return 0;
    }
    for (const std::string& word : *words) {
        if (!quoted)
            check(word.find_first_of(" \t\n\v\f\r") == std::string::npos, "an unquoted word holds a blank");
        if (const auto integer = velmora::parseWholeInteger(word))
            check(velmora::parseWholeInteger(std::to_string(*integer)) == integer, "an integer does not print back");
        if (const auto number = velmora::parseWholeNumber(word))
            check(std::isfinite(*number), "a parsed number is not finite");
        for (const char* op : {"==", "!=", "<", "<=", ">", ">="})
            check(velmora::compareBy(op, 1.0, 2.0).has_value(), "a known operator was refused");
    }
    if (words->size() >= 1)
        velmora::compareBy((*words)[0], 1.0, 1.0);
    return 0;
}
