// Script commands that report: "print" (the data set, the regions, memory) and "screenshot".

#include "host/CHostData.h"
#include "host/CMainFrame.h"
#include "host/CScriptRunner.h"
#include "host/script/ScriptSupport.h"

#include <cmath>
#include <cstdlib>
#include <fstream>

namespace velmora {

using namespace script;

void CScriptRunner::commandPrint(const std::vector<std::string>& words)
{
    needWords(words, 2, 2, "print info|regions|memory");
    if (words[1] == "memory")
    {
        // Peak and current resident memory of the process, and of the undo history; the
        // peak then starts again from the current figure, so each print covers the commands
        // since the last one.
        long peak = 0, now = 0;
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
        {
            if (line.rfind("VmHWM:", 0) == 0)
                peak = std::atol(line.c_str() + 6);
            else if (line.rfind("VmRSS:", 0) == 0)
                now = std::atol(line.c_str() + 6);
        }
        const auto history = m_data.getHistorySize();
        m_out << "memory: peak " << (peak + 512) / 1024 << " MiB, now " << (now + 512) / 1024 << " MiB, history "
              << (history[0] + 512 * 1024) / (1024 * 1024) << " of " << history[1] / (1024 * 1024) << " MiB" << std::endl;
        std::ofstream("/proc/self/clear_refs") << "5";
    }
    else if (words[1] == "info")
    {
        if (!m_data.hasData())
            fail("no data set is loaded");
        const auto size = m_data.getDimensions();
        const auto spacing = m_data.getSpacing();
        const auto range = m_data.getDensityRange();
        m_out << "volume: " << size[0] << " " << size[1] << " " << size[2] << "\n";
        m_out << "spacing: " << spacing[0] << " " << spacing[1] << " " << spacing[2] << "\n";
        m_out << "density: " << range[0] << " " << range[1] << "\n";
        m_out << "regions: " << m_data.getRegions().size() << "\n";
        m_out << "active: " << m_data.getActiveRegion() << "\n";
        for (const auto& [label, count] : m_data.getLabelCounts())
        {
            if (label != 0)
                m_out << "label " << label << ": " << count << "\n";
        }
        const auto model = m_data.getModelCounts();
        m_out << "model: " << model[0] << " " << model[1] << "\n";
        // Origin and axis directions in the patient (millimetres, LPS); rounding noise of
        // the directions is shown as 0.
        auto clean = [](double value) { return std::fabs(value) < 1e-12 ? 0.0 : value; };
        const import::CPatientGeometry& geometry = m_data.getGeometry();
        m_out << "origin: " << clean(geometry.origin[0]) << " " << clean(geometry.origin[1]) << " "
              << clean(geometry.origin[2]) << "\n";
        m_out << "directions:";
        for (const auto& axis : geometry.axes)
            m_out << " " << clean(axis[0]) << " " << clean(axis[1]) << " " << clean(axis[2]);
        m_out << "\n";
        m_out.flush();
    }
    else if (words[1] == "regions")
    {
        const auto regions = m_data.getRegions();
        const int active = m_data.getActiveRegion();
        for (std::size_t i = 0; i < regions.size(); ++i)
        {
            const CRegionInfo& region = regions[i];
            m_out << "region " << i << " " << quoted(region.name) << " " << int(region.red) << " " << int(region.green)
                  << " " << int(region.blue) << " " << int(region.alpha) << " " << (region.visible ? "visible" : "hidden");
            if (static_cast<int>(i) == active)
                m_out << " active";
            m_out << "\n";
        }
        m_out.flush();
    }
    else
        fail("usage: print info|regions");
}

void CScriptRunner::commandScreenshot(const std::vector<std::string>& words)
{
    needWords(words, 2, 2, "screenshot FILE.png");
    m_frame.Raise();
    settle();
    if (!m_frame.saveScreenshot(wxString::FromUTF8(words[1])))
        fail("cannot save the screenshot to " + words[1]);
}

} // namespace velmora
