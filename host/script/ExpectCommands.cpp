// The script command "expect": checks of labels, counts, the storage's consistency, control
// values and written files; a check that does not hold fails the script.

#include "host/CHostData.h"
#include "host/CPluginHost.h"
#include "host/CScriptRunner.h"
#include "host/ScriptWords.h"
#include "host/script/ScriptSupport.h"

#include <wx/checkbox.h>
#include <wx/spinctrl.h>
#include <wx/textctrl.h>
#include <wx/tglbtn.h>

#include <filesystem>
#include <iomanip>
#include <optional>
#include <sstream>

namespace velmora {

using namespace script;

namespace {

void expectCompare(const std::string& what, const std::string& op, double actual, double wanted)
{
    const std::optional<bool> result = compareBy(op, actual, wanted);
    if (!result)
        fail("unknown comparison '" + op + "'");
    if (!*result)
    {
        std::ostringstream text;
        text << "expected " << what << " " << op << " " << std::setprecision(15) << wanted << ", got " << actual;
        fail(text.str());
    }
}

std::string describeValue(wxWindow* window)
{
    if (auto* spin = dynamic_cast<wxSpinCtrl*>(window))
        return std::to_string(spin->GetValue());
    if (auto* spinDouble = dynamic_cast<wxSpinCtrlDouble*>(window))
    {
        std::ostringstream text;
        text << spinDouble->GetValue();
        return text.str();
    }
    if (auto* text = dynamic_cast<wxTextCtrl*>(window))
        return text->GetValue().utf8_string();
    if (auto* check = dynamic_cast<wxCheckBox*>(window))
        return check->GetValue() ? "on" : "off";
    if (auto* toggle = dynamic_cast<wxToggleButton*>(window))
        return toggle->GetValue() ? "on" : "off";
    fail("the control has no value to compare");
}

} // namespace

void CScriptRunner::commandExpect(const std::vector<std::string>& words)
{
    needWords(words, 2, 8, "expect WHAT ...");
    const std::string& what = words[1];
    if (what == "label")
    {
        needWords(words, 6, 6, "expect label X Y Z N");
        const int label = m_data.getLabel(parseInt(words[2]), parseInt(words[3]), parseInt(words[4]));
        if (label < 0)
            fail("voxel " + words[2] + " " + words[3] + " " + words[4] + " is outside the volume");
        expectCompare("label at " + words[2] + " " + words[3] + " " + words[4], "==", label,
                      static_cast<double>(parseInteger(words[5])));
    }
    else if (what == "labelcount")
    {
        needWords(words, 5, 5, "expect labelcount N OP COUNT");
        const int label = parseInt(words[2]);
        const auto counts = m_data.getLabelCounts();
        const auto found = counts.find(label);
        const double count = found == counts.end() ? 0.0 : static_cast<double>(found->second);
        expectCompare("count of label " + words[2], words[3], count, static_cast<double>(parseInteger(words[4])));
    }
    else if (what == "regions" || what == "active" || what == "triangles" || what == "vertices")
    {
        needWords(words, 4, 4, "expect regions|active|triangles|vertices OP N");
        double actual = 0;
        if (what == "regions")
            actual = static_cast<double>(m_data.getRegions().size());
        else if (what == "active")
            actual = m_data.getActiveRegion();
        else
            actual = static_cast<double>(m_data.getModelCounts()[what == "triangles" ? 0 : 1]);
        expectCompare(what, words[2], actual, static_cast<double>(parseInteger(words[3])));
    }
    else if (what == "consistent")
    {
        needWords(words, 2, 2, "expect consistent");
        const std::vector<std::string> problems = m_data.findInconsistencies();
        if (!problems.empty())
        {
            std::string text = "the storage is not consistent: " + problems.front();
            for (std::size_t i = 1; i < problems.size(); ++i)
                text += "; " + problems[i];
            fail(text);
        }
    }
    else if (what == "control")
    {
        needWords(words, 5, 5, "expect control PLUGIN LABEL VALUE");
        wxWindow* window = control(plugin(words[2]), words[3]);
        const std::string actual = describeValue(window);
        bool same = actual == words[4];
        if (!same && (dynamic_cast<wxSpinCtrl*>(window) || dynamic_cast<wxSpinCtrlDouble*>(window)))
            same = parseNumber(actual) == parseNumber(words[4]);
        if (!same)
            fail("expected control \"" + words[3] + "\" to be " + words[4] + ", got " + actual);
    }
    else if (what == "file")
    {
        needWords(words, 3, 3, "expect file PATH");
        std::error_code error;
        if (!std::filesystem::is_regular_file(words[2], error) || std::filesystem::file_size(words[2], error) == 0)
            fail("expected a non-empty file " + words[2]);
    }
    else if (what == "filesize")
    {
        needWords(words, 5, 5, "expect filesize PATH OP BYTES");
        std::error_code error;
        const auto size = std::filesystem::file_size(words[2], error);
        if (error)
            fail("no file " + words[2]);
        expectCompare("size of " + words[2], words[3], static_cast<double>(size),
                      static_cast<double>(parseInteger(words[4])));
    }
    else
        fail("unknown expectation '" + what + "'");
}

} // namespace velmora
