// Each thread's results in the thread's own storage, which goes with it.
#include "passwd/thread_results.h"

namespace dessec {

thread_results *this_thread_results()
{
    thread_local thread_results results;
    return &results;
}

}  // namespace dessec
