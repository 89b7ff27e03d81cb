#include "plugins/parvex/seg/CBinaryErosion.h"

namespace seg {

bool CBinaryErosion::run()
{
    return apply(true, m_backgroundLabel);
}

} // namespace seg
