#pragma once

#include <netinet/in.h>
#include <signal.h>

#include <ctime>

// Answers DNS over TCP on address (every query with the fixed A record, each
// message behind its two-byte length) until end or until *stop is set.
void serveStream(sockaddr_in address, std::time_t end, volatile sig_atomic_t* stop);
