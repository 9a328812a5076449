#include "process.h"

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

}  // namespace cli::process
