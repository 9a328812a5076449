#include "process.h"


#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "signals.h"

namespace cli::process {

namespace {

// /dev/null opened the other way round: reads from a closed stdin and
// writes to a closed stdout fail (EBADF) as they did, and closing them
// succeeds.
void hold_closed_descriptor(int fd, int flags)
{
    if (fcntl(fd, F_GETFD) != -1)
        return;
    const int placeholder = open("/dev/null", flags | O_NOCTTY);
    if (placeholder >= 0 && placeholder != fd) {
        dup2(placeholder, fd);
        close(placeholder);
    }
}

}  // namespace

void protect()
{
    const rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
#ifdef __linux__
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);  // also keeps other processes of the user from reading its memory
#endif
    signals::install();
    hold_closed_descriptor(STDIN_FILENO, O_WRONLY);
    hold_closed_descriptor(STDOUT_FILENO, O_RDONLY);
    hold_closed_descriptor(STDERR_FILENO, O_WRONLY);
}

void end_now(int status)
{
    signals::clean_up();
    _exit(status);
}

#ifdef __GLIBC__
namespace {

[[gnu::constructor(101)]] void call_before_static_objects(int argc, char **argv, char **)
{
    before_static_objects(argc, argv);
}

}  // namespace
#endif

}  // namespace cli::process
