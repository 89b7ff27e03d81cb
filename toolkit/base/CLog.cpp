#include "toolkit/base/CLog.h"

#include <cstring>

namespace kvo::base {

namespace {
// Finished text is copied here before the outputs see it.
char passedText[CLog::PUT_AREA_SIZE];
} // namespace

CLog::CLog(bool enabled) : m_enabled(enabled), m_stream(nullptr)
{
    setp(m_putArea, m_putArea + PUT_AREA_SIZE - 1);
    m_stream = new std::ostream(this);
}

CLog::~CLog()
{
    delete m_stream;
    for (CLogOutput* output : m_outputs)
        output->release();
}

void CLog::addOutput(CLogOutput* output)
{
    if (output && m_outputs.insert(output).second)
        output->addReference();
}

void CLog::removeOutput(CLogOutput* output)
{
    if (m_outputs.erase(output) > 0)
        output->release();
}

void CLog::passOn()
{
    const std::ptrdiff_t length = pptr() - pbase();
    if (m_enabled && length > 0)
    {
        lock();
        std::memcpy(passedText, pbase(), static_cast<std::size_t>(length));
        passedText[length] = '\0';
        for (CLogOutput* output : m_outputs)
            output->write(passedText);
        unlock();
    }
    setp(m_putArea, m_putArea + PUT_AREA_SIZE - 1);
}

CLog::int_type CLog::overflow(int_type c)
{
    passOn();
    if (!traits_type::eq_int_type(c, traits_type::eof()))
    {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int CLog::sync()
{
    passOn();
    return 0;
}

} // namespace kvo::base
