#pragma once

#include <QByteArray>

namespace platform {

// One short request to a clamd at address (a socket path beginning with "/", or host:port over
// TCP; an IPv6 host in brackets): the command is sent with clamd's "z" framing and the reply
// read up to its terminating NUL. The whole exchange, name look-up and connection included,
// takes at most timeoutMs; a request still unanswered then is left to end on its own thread.
// Returns false when clamd did not answer in time; reply holds the answer without its NUL.
bool clamdRequest(const QByteArray &address, const QByteArray &command, int timeoutMs,
                  QByteArray *reply);

}  // namespace platform
