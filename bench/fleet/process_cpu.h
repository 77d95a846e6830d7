#pragma once
// CPU seconds of the processes a benchmark starts, read from /proc.

#include <sys/types.h>

#include <string>

namespace pos::fleet {

// User and system seconds of a live process (0 when it is gone).
double process_cpu(pid_t pid);

// The PostgreSQL server's: the postmaster, the backends it has reaped, the live ones.
double postgres_cpu(const std::string& data_dir);

// The calling process's own, and the calling thread's.
double own_cpu();
double thread_cpu();

}  // namespace pos::fleet
