#include "simfixture.h"

#include "eventwait.h"

namespace quorvex::test {

void SimLinkTest::ctx_yield(int ms)
{
    wait_for_events(ms);
}

} // namespace quorvex::test
