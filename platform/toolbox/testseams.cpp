// The toolbox's test hooks, asked by modal loops, the colour picker, document opening and alerts.
#include "toolbox/testseams.h"

namespace tb {

TestSeams& Seams() {
    static TestSeams seams;
    return seams;
}

} // namespace tb
