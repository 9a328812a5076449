// The result texts of the password hashes, one pair for each thread: the
// pointer a hash returns stays the thread's until its own next call.
#pragma once

#include "passwd/passwd.h"

namespace dessec {

struct thread_results {
    char des_crypt[passwd_crypt_output_size];
    char md5_crypt[md5_crypt_output_size];
};

// The calling thread's pair. Null only on Windows, when no TLS slot or heap
// block is to be had for it.
thread_results *this_thread_results();

// Windows only, for the entry point: frees the calling thread's pair as the
// thread ends, and also the TLS slot as the DLL is unloaded.
void release_thread_results();
void release_thread_results_slot();

}  // namespace dessec
