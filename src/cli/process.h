// The tool's process as a whole, set up before anything else runs: what
// differs between POSIX and Windows in keeping secrets out of crash dumps,
// in closed pipes, in signals, and in standard descriptors that were left
// closed.
#pragma once

namespace cli::process {

// Makes the process one that no core dump or crash report captures (it
// holds passwords, keys and plaintext), makes a write to a closed pipe an
// error rather than a signal, sets the handlers by which a signal that ends
// the tool first removes its new file and restores the terminal, and puts a placeholder on a closed standard
// descriptor, so that a file opened later never takes its number: a write
// to a closed standard output still fails, and an unused one is no error.
void protect();

// Ends the tool at once with `status`, as a signal would end it but for the
// status: the new file goes, the terminal gets its echo back.
[[noreturn]] void end_now(int status);

// What must hold before the tool's static objects are made, so that running
// out of memory while they are made is reported too; defined by the tool's
// main, which also calls it first. Where the C library passes the arguments
// to an early constructor (glibc), that constructor calls it sooner.
void before_static_objects(int argc, char **argv);

}  // namespace cli::process
