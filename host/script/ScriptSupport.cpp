#include "host/script/ScriptSupport.h"

#include "host/ScriptWords.h"

#include <wx/window.h>

#include <cmath>
#include <limits>
#include <optional>

namespace velmora::script {

void needWords(const std::vector<std::string>& words, std::size_t least, std::size_t most, const char* usage)
{
    if (words.size() < least || words.size() > most)
        fail(std::string("usage: ") + usage);
}

long long parseInteger(const std::string& text)
{
    const std::optional<long long> value = parseWholeInteger(text);
    if (!value)
        fail("not a whole number: '" + text + "'");
    return *value;
}

int parseInt(const std::string& text)
{
    const long long value = parseInteger(text);
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        fail("number out of range: '" + text + "'");
    return static_cast<int>(value);
}

double parseNumber(const std::string& text)
{
    const std::optional<double> value = parseWholeNumber(text);
    if (!value)
        fail("not a number: '" + text + "'");
    if (!std::isfinite(*value))
        fail("not a finite number: '" + text + "'");
    return *value;
}

bool parseOnOff(const std::string& text)
{
    if (text == "on")
        return true;
    if (text == "off")
        return false;
    fail("expected on or off, got '" + text + "'");
}

void collectWindows(wxWindow* window, std::vector<wxWindow*>& windows)
{
    for (wxWindow* child : window->GetChildren())
    {
        windows.push_back(child);
        collectWindows(child, windows);
    }
}

std::string quoted(const std::string& text)
{
    std::string result = "\"";
    for (char c : text)
    {
        if (c == '"')
            result += "\"\"";
        else
            result += c;
    }
    return result + "\"";
}

} // namespace velmora::script
