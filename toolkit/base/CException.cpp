#include "toolkit/base/CException.h"

#include "toolkit/base/CLog.h"

namespace kvo::base {

void CFullException::printAs(std::ostream& stream, const char* kind) const
{
    stream << '<' << m_file << '>' << '<' << m_line << '>' << kind << m_message << std::endl;
}

void CFullException::print(std::ostream& stream) const { printAs(stream, " Exception: "); }

void CWarning::print(std::ostream& stream) const { printAs(stream, " Warning: "); }

void reportWarning(const CWarning& warning) { warning.print(getGlobalLog().getStream()); }

} // namespace kvo::base
