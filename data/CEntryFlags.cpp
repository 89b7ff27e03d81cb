#include "data/CEntryFlags.h"

#include "toolkit/base/CException.h"

namespace data {

namespace {
// The warning names a fixed source location rather than this file, so that log readers
// and filters that match the text keep working whatever the build layout.
constexpr const char* HISTORY_FULL_TEXT = "CEntryFlags::insert(): Too many items in the history";
constexpr const char* HISTORY_FULL_FILE = "CEntryFlags";
constexpr int HISTORY_FULL_LINE = 45;
} // namespace

bool CEntryFlags::insert(std::int32_t value)
{
    if (m_values.size() >= MAX_VALUES)
    {
        kvo::base::reportWarning(kvo::base::CWarning(HISTORY_FULL_TEXT, HISTORY_FULL_FILE, HISTORY_FULL_LINE));
        return false;
    }
    m_values.insert(value);
    return true;
}

} // namespace data
