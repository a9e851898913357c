#pragma once
// The supervisor: the one process that `up` leaves behind. It starts the hosts, records their
// pids, restarts any host that dies (backing off when one keeps dying) and, on SIGTERM, stops
// every host it started.

namespace launcher {

// Runs in the supervisor process until it is told to stop; returns its exit code.
int runSupervisor();

}  // namespace launcher
