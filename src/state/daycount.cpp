#include "state/daycount.h"

#include <cmath>

namespace daycount {

QDate toDate(double days) {
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6)
        return {};
    return epoch().addDays(static_cast<qint64>(std::trunc(days)));
}

}  // namespace daycount
