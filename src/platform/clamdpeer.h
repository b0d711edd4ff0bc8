#pragma once

// Who may stand behind a clamd local socket. Files sent there are read by that process and its
// verdicts believed, so only root, the user running this and the system's clamd account
// qualify: another user's clamd could read what is sent, or answer OK for what it likes.
// Header-only, for the program and for vizavuz-scan (which does not link Qt).

#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace platform {

// The account Debian's clamd runs as.
inline constexpr char clamdAccount[] = "clamav";

// True when the process listening on the connected local socket fd runs as a trusted user.
inline bool clamdPeerTrusted(int fd) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof peer)
        return false;
    if (peer.uid == 0 || peer.uid == geteuid())
        return true;
    passwd entry{};
    passwd *found = nullptr;
    std::vector<char> buffer(16384);
    return getpwnam_r(clamdAccount, &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
           found->pw_uid == peer.uid;
}

}  // namespace platform
