// Bus frames into the broker: three clients on socket pairs, and the
// input a sequence of writes, each to one client's socket, that the broker
// then reads and handles as its loop would. A write is
//
//   1 byte   the client (bits 0-1; 3 counts as 0), bit 2: hang up after it
//   2 bytes  the length, big-endian (cut to what the input still holds)
//   ...      the bytes
//
// What the broker sends back is read and checked as the bus library reads
// it, frame by frame.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "broker.h"
#include "ubus_wire.h"

namespace {

constexpr int CLIENTS = 3;

// What one client's end of the socket has received so far.
struct Peer {
	int fd = -1;
	std::vector<uint8_t> in;
};

// Reads what the broker sent and takes whole frames off the front; every
// frame the broker sends must be one the bus library accepts.
void drain(Peer &peer)
{
	uint8_t chunk[65536];
	ssize_t n;

	while ((n = recv(peer.fd, chunk, sizeof(chunk), MSG_DONTWAIT)) > 0)
		peer.in.insert(peer.in.end(), chunk, chunk + n);
	for (;;) {
		long len = ubus_wire_frame_len(peer.in.data(), peer.in.size());
		struct ubus_wire_frame f;
		if (len < 0)
			abort();
		if (len == 0 || peer.in.size() < static_cast<size_t>(len))
			return;
		if (!ubus_wire_parse(peer.in.data(), len, &f))
			abort();
		peer.in.erase(peer.in.begin(), peer.in.begin() + len);
	}
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	Broker broker;
	Peer peers[CLIENTS];
	uint32_t ids[CLIENTS];

	for (int i = 0; i < CLIENTS; i++) {
		int sv[2];
		if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sv) < 0)
			abort();
		peers[i].fd = sv[0];
		ids[i] = broker.add_client(sv[1]).id();
		drain(peers[i]);
	}

	size_t pos = 0;
	while (size - pos >= 3) {
		int who = data[pos] & 3;
		bool hang_up = data[pos] & 4;
		size_t len = (size_t) data[pos + 1] << 8 | data[pos + 2];
		pos += 3;
		if (who == 3)
			who = 0;
		if (len > size - pos)
			len = size - pos;

		Connection *c = broker.client(ids[who]);
		if (c && peers[who].fd >= 0) {
			if (len && send(peers[who].fd, data + pos, len, MSG_DONTWAIT | MSG_NOSIGNAL) < 0)
				hang_up = true;
			if (hang_up) {
				close(peers[who].fd);
				peers[who].fd = -1;
			}
			broker.process_input(*c);
			broker.drop_finished();
		}
		pos += len;
		for (Peer &peer : peers) {
			if (peer.fd >= 0)
				drain(peer);
		}
	}

	for (Peer &peer : peers) {
		if (peer.fd >= 0)
			close(peer.fd);
	}
	return 0;
}
