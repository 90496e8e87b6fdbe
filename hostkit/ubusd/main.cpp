// ubusd: the bus broker.
//
//   ubusd [-s <socket>]
//
// Listens on a Unix stream socket (default /var/run/ubus/ubus.sock, whose
// folder it creates) and serves any number of clients from one epoll loop
// until SIGINT or SIGTERM; then it removes the socket and exits with 0.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "broker.h"

namespace {

constexpr const char *kDefaultSocket = "/var/run/ubus/ubus.sock";
constexpr uint64_t kListenKey = 0;
constexpr uint64_t kSignalKey = UINT64_MAX;

void usage(const char *prog)
{
	fprintf(stderr, "Usage: %s [-s <socket>]\n", prog);
}

// mkdir -p of the folder that holds path.
bool make_parent_dirs(const std::string &path)
{
	for (size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1)) {
		std::string dir = path.substr(0, pos);
		if (mkdir(dir.c_str(), 0755) < 0 && errno != EEXIST) {
			fprintf(stderr, "ubusd: cannot create %s: %s\n", dir.c_str(), strerror(errno));
			return false;
		}
	}
	return true;
}

// The socket is bound and listening under a name of its own first and then
// moved into place, so a client that sees it can connect at once; bound
// under its final name, it would refuse connections until listen(). The
// move also replaces a socket left by a broker that is gone.
int listen_on(const std::string &path)
{
	const std::string staging = path + ".new";
	sockaddr_un addr{};
	addr.sun_family = AF_UNIX;
	if (staging.size() >= sizeof(addr.sun_path)) {
		fprintf(stderr, "ubusd: socket path too long: %s\n", path.c_str());
		return -1;
	}
	if (!make_parent_dirs(path))
		return -1;
	memcpy(addr.sun_path, staging.c_str(), staging.size() + 1);

	int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
	if (fd < 0) {
		perror("ubusd: socket");
		return -1;
	}
	unlink(staging.c_str());
	if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) < 0 || listen(fd, SOMAXCONN) < 0 ||
	    rename(staging.c_str(), path.c_str()) < 0) {
		fprintf(stderr, "ubusd: cannot listen on %s: %s\n", path.c_str(), strerror(errno));
		unlink(staging.c_str());
		close(fd);
		return -1;
	}
	return fd;
}

bool watch(int epfd, int op, int fd, uint32_t events, uint64_t key)
{
	epoll_event ev{};
	ev.events = events;
	ev.data.u64 = key;
	return epoll_ctl(epfd, op, fd, &ev) == 0;
}

void accept_clients(int epfd, int listen_fd, Broker &broker)
{
	for (;;) {
		int fd = accept4(listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
		if (fd < 0) {
			if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
				perror("ubusd: accept");
			if (errno == EINTR || errno == ECONNABORTED)
				continue;
			return;
		}
		Connection &c = broker.add_client(fd);
		if (!watch(epfd, EPOLL_CTL_ADD, fd, EPOLLIN, c.id())) {
			perror("ubusd: epoll_ctl");
			c.mark_broken();
		}
	}
}

// Watch for writability exactly while a connection has output queued.
void sync_write_interest(int epfd, Broker &broker)
{
	for (auto &[id, conn] : broker.clients()) {
		if (conn->wants_write() == conn->watching_write)
			continue;
		conn->watching_write = conn->wants_write();
		uint32_t events = EPOLLIN | (conn->watching_write ? uint32_t(EPOLLOUT) : 0u);
		if (!watch(epfd, EPOLL_CTL_MOD, conn->fd(), events, id))
			conn->mark_broken();
	}
}

int run(int listen_fd, int signal_fd)
{
	int epfd = epoll_create1(EPOLL_CLOEXEC);
	if (epfd < 0 || !watch(epfd, EPOLL_CTL_ADD, listen_fd, EPOLLIN, kListenKey) ||
	    !watch(epfd, EPOLL_CTL_ADD, signal_fd, EPOLLIN, kSignalKey)) {
		perror("ubusd: epoll");
		return 1;
	}

	Broker broker;
	epoll_event events[64];
	for (;;) {
		int n = epoll_wait(epfd, events, 64, -1);
		if (n < 0 && errno != EINTR) {
			perror("ubusd: epoll_wait");
			return 1;
		}
		for (int i = 0; i < n; i++) {
			uint64_t key = events[i].data.u64;
			if (key == kSignalKey) {
				close(epfd);
				return 0;
			}
			if (key == kListenKey) {
				accept_clients(epfd, listen_fd, broker);
				continue;
			}
			Connection *c = broker.client(static_cast<uint32_t>(key));
			if (!c)
				continue;  // dropped earlier in this round
			if (events[i].events & EPOLLOUT)
				c->flush();
			if (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR))
				broker.process_input(*c);
		}
		broker.drop_finished();
		sync_write_interest(epfd, broker);
	}
}

}  // namespace

int main(int argc, char **argv)
{
	std::string path = kDefaultSocket;
	int opt;
	while ((opt = getopt(argc, argv, "s:")) != -1) {
		if (opt != 's') {
			usage(argv[0]);
			return 2;
		}
		path = optarg;
	}
	if (optind != argc) {
		usage(argv[0]);
		return 2;
	}

	signal(SIGPIPE, SIG_IGN);
	sigset_t stop;
	sigemptyset(&stop);
	sigaddset(&stop, SIGINT);
	sigaddset(&stop, SIGTERM);
	sigprocmask(SIG_BLOCK, &stop, nullptr);
	int signal_fd = signalfd(-1, &stop, SFD_CLOEXEC | SFD_NONBLOCK);
	if (signal_fd < 0) {
		perror("ubusd: signalfd");
		return 1;
	}

	int listen_fd = listen_on(path);
	if (listen_fd < 0)
		return 1;
	int status = run(listen_fd, signal_fd);
	unlink(path.c_str());
	close(listen_fd);
	return status;
}
