#include "plugins/parvex/seg/CBinaryDilation.h"

namespace seg {

bool CBinaryDilation::run()
{
    return apply(false, 0);
}

} // namespace seg
