#pragma once
// A dialog service for the panel tests: confirmations and colour choices are answered from
// queues, file selectors too; every question is recorded. An unanswered dialog fails the test and cancels.

#include "plug/CDialogService.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::testing {

class CQueuedDialogs : public plug::CDialogService
{
public:
    int confirm(const wxString& message, const wxString& caption, long) override
    {
        asked.push_back(caption.utf8_string() + ": " + message.utf8_string());
        if (yesNo.empty())
        {
            ADD_FAILURE() << "unanswered confirmation: " << message.utf8_string();
            return wxNO;
        }
        const bool yes = yesNo.front();
        yesNo.pop_front();
        return yes ? wxYES : wxNO;
    }
    void showMessage(const wxString& message, const wxString& caption, long) override
    {
        asked.push_back(caption.utf8_string() + ": " + message.utf8_string());
    }
    wxString selectFile(const wxString& message, const wxString&, const wxString&, const wxString& extension,
                        const wxString&, int) override
    {
        asked.push_back("file " + extension.utf8_string() + ": " + message.utf8_string());
        if (files.empty())
        {
            ADD_FAILURE() << "unanswered file selector: " << message.utf8_string();
            return wxString();
        }
        const wxString answer = files.front();
        files.pop_front();
        return answer;
    }
    bool chooseColour(const wxColour& initial, const wxString& caption, wxColour& chosen) override
    {
        asked.push_back(caption.utf8_string());
        initialColours.push_back(initial);
        if (colours.empty())
        {
            ADD_FAILURE() << "unanswered colour chooser";
            return false;
        }
        const std::optional<wxColour> answer = colours.front();
        colours.pop_front();
        if (!answer)
            return false;
        chosen = *answer;
        return true;
    }
    plug::CProgressReporter* createProgress(const wxString&, int) override { return nullptr; }

    std::deque<bool> yesNo;
    //! An empty answer cancels the chooser.
    std::deque<std::optional<wxColour>> colours;
    //! An empty answer cancels the selector.
    std::deque<wxString> files;
    std::vector<std::string> asked;
    std::vector<wxColour> initialColours;
};

} // namespace tolvane::testing
