#include "Platform/Linux/LinuxLowDelayConnections.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstdlib>

namespace {

int peerPort(int fd)
{
    sockaddr_storage peer {};
    socklen_t length = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &length) != 0) {
        return -1;
    }
    if (peer.ss_family == AF_INET) {
        return ntohs(reinterpret_cast<const sockaddr_in &>(peer).sin_port);
    }
    if (peer.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6 &>(peer).sin6_port);
    }
    return -1;
}

} // namespace

void LinuxLowDelayConnections::apply(quint16 port)
{
    DIR *folder = opendir("/proc/self/fd");
    if (!folder) {
        return;
    }
    while (const dirent *entry = readdir(folder)) {
        char *end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == dirfd(folder)) {
            continue;
        }
        int type = 0;
        socklen_t typeLength = sizeof type;
        if (getsockopt(int(fd), SOL_SOCKET, SO_TYPE, &type, &typeLength) != 0 || type != SOCK_STREAM
            || peerPort(int(fd)) != port) {
            continue;
        }
        const int on = 1;
        setsockopt(int(fd), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    closedir(folder);
}
