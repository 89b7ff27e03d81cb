#pragma once
// A progress window for panel tests: answers cancel at every report when told so, and
// records what the command asked of it ("shown", "report C/T", "hidden", "closed").

#include "plug/CDialogService.h"

#include <string>
#include <vector>

class CTestProgress : public plug::CProgressReporter
{
public:
    CTestProgress(bool cancel, std::vector<std::string>& log) : m_cancel(cancel), m_log(log) {}
    ~CTestProgress() override { m_log.push_back("closed"); }
    bool Show(bool show) override
    {
        m_log.push_back(show ? "shown" : "hidden");
        return true;
    }
    bool updateProgress(int current, int total) override
    {
        m_log.push_back("report " + std::to_string(current) + "/" + std::to_string(total));
        return !m_cancel;
    }

private:
    bool m_cancel;
    std::vector<std::string>& m_log;
};
