#pragma once
// Progress base of the long-running algorithms.
//
// An algorithm announces the amount of work (the total), advances a counter and, at the
// points its own description gives (after each slice or step), calls the callback with
// (counter, total). A false answer means "stop": the algorithm ends and returns false.
// The callback is an owned copy of a bool(int current, int total) functor; by default, and
// after restoreDefaultCallback(), it is a handler that always answers true.
// Single-threaded: the callback runs on the thread that runs the algorithm.

#include "toolkit/base/CFunctor.h"

#include <cstdint>

namespace kvo::mod {

class CProgress
{
public:
    //! bool(int current, int total): true to continue, false to stop.
    using tProgressCallback = kvo::base::CFunctor<bool, int, int>;

    CProgress() : m_callback(&CProgress::defaultCallback) {}
    virtual ~CProgress() = default;

    //! Stores an owned copy of the functor; an empty functor restores the default handler.
    void setProgressCallback(const tProgressCallback& callback)
    {
        if (callback.isEmpty())
            restoreDefaultCallback();
        else
            m_callback = callback;
    }

    //! Puts the always-continue handler back.
    void restoreDefaultCallback() { m_callback = tProgressCallback(&CProgress::defaultCallback); }

    std::int32_t getProgressCounter() const { return m_counter; }
    std::int32_t getProgressTotal() const { return m_total; }

protected:
    //! Announces the work: counter to 0, total to the given amount.
    void beginProgress(std::int32_t total)
    {
        m_total = total;
        m_counter = 0;
    }
    void setProgressCounter(std::int32_t counter) { m_counter = counter; }
    void setProgressTotal(std::int32_t total) { m_total = total; }

    //! Reports the current state; false means the caller must stop.
    bool reportProgress() { return m_callback(m_counter, m_total); }

    //! Advances the counter by one and reports; false means the caller must stop.
    bool progress()
    {
        ++m_counter;
        return reportProgress();
    }

private:
    static bool defaultCallback(int, int) { return true; }

    std::int32_t m_counter = 0;
    std::int32_t m_total = 0;
    tProgressCallback m_callback;
};

} // namespace kvo::mod
