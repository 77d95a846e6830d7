#pragma once
// TCP sockets on 127.0.0.1 for the test servers and relays.

namespace pos::testing {

struct LoopbackListener {
  int fd = -1;
  int port = 0;
};

// A socket listening on 127.0.0.1 at a port the system picks; throws when it cannot.
LoopbackListener listen_on_loopback(int backlog);

// A socket connected to 127.0.0.1:port, or -1.
int connect_to_loopback(int port);

}  // namespace pos::testing
