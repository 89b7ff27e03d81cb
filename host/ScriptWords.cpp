#include "host/ScriptWords.h"

#include <cctype>
#include <stdexcept>

namespace velmora {

std::optional<std::vector<std::string>> splitScriptLine(const std::string& line, std::string& error)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    const std::size_t n = line.size();
    while (i < n)
    {
        while (i < n && std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
        if (i >= n)
            break;
        if (line[i] == '#')
        {
            std::size_t j = i + 1;
            while (j < n && std::isdigit(static_cast<unsigned char>(line[j])))
                ++j;
            const bool address = j > i + 1 && (j == n || std::isspace(static_cast<unsigned char>(line[j])));
            if (!address)
                break; // comment to the end of the line
        }
        std::string word;
        while (i < n && !std::isspace(static_cast<unsigned char>(line[i])))
        {
            if (line[i] == '"')
            {
                ++i;
                bool closed = false;
                while (i < n)
                {
                    if (line[i] == '"')
                    {
                        if (i + 1 < n && line[i + 1] == '"')
                        {
                            word += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        closed = true;
                        break;
                    }
                    word += line[i++];
                }
                if (!closed)
                {
                    error = "unterminated quote";
                    return std::nullopt;
                }
            }
            else
                word += line[i++];
        }
        words.push_back(word);
    }
    return words;
}

std::optional<long long> parseWholeInteger(const std::string& text)
{
    std::size_t used = 0;
    try
    {
        const long long value = std::stoll(text, &used);
        if (used == text.size())
            return value;
    }
    catch (const std::exception&)
    {
    }
    return std::nullopt;
}

std::optional<double> parseWholeNumber(const std::string& text)
{
    std::size_t used = 0;
    try
    {
        const double value = std::stod(text, &used);
        if (used == text.size())
            return value;
    }
    catch (const std::exception&)
    {
    }
    return std::nullopt;
}

std::optional<bool> compareBy(const std::string& op, double left, double right)
{
    if (op == "==")
        return left == right;
    if (op == "!=")
        return left != right;
    if (op == "<")
        return left < right;
    if (op == "<=")
        return left <= right;
    if (op == ">")
        return left > right;
    if (op == ">=")
        return left >= right;
    return std::nullopt;
}

} // namespace velmora
