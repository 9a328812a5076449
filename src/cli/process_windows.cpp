#include "process.h"

#include <cstdlib>

#include <windows.h>

namespace cli::process {

// No fault dialog and no report on a crash: Windows Error Reporting writes
// no dump of the tool unless an administrator has set up local dumps for
// it. Windows has no SIGPIPE (a closed pipe is already a write error), and
// a handle that was never given stays invalid rather than reused.
void protect()
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

// The console's echo comes back with the console handler's own layer, and
// a new file that is not put in place is deleted when the tool ends.
void end_now(int status)
{
    std::_Exit(status);
}

}  // namespace cli::process
