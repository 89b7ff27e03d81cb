#pragma once
// Small-area reduction ("Reduce Small Areas"): removes every connected piece of a surface
// (triangles joined across edges) that has at most `threshold` triangles, then every
// vertex that no triangle uses any more. Threshold 0 or below keeps everything; 1 removes
// lone triangles only. Triangle flags hold the component number (1, 2, ...) afterwards.
// No progress and no cancel. Not thread-safe.

namespace vctl {
class MCTriS;
}

class CSmallAreaReduction
{
public:
    //! Always true.
    bool reduce(vctl::MCTriS& mesh, long threshold) const;
};
