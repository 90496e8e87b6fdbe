// One client connection of the broker: framing of what it sends, and a
// queue of what it has not read yet.
//
// Writes never block. What the socket does not take is queued and sent when
// the client reads again; a client that lets more than kMaxQueued bytes pile
// up is marked broken and dropped, so one stalled reader cannot hold up the
// broker or make it grow without bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

using Frame = std::vector<uint8_t>;

class Connection {
public:
	static constexpr size_t kMaxQueued = 2 * 1024 * 1024;

	Connection(int fd, uint32_t id);
	~Connection();
	Connection(const Connection &) = delete;
	Connection &operator=(const Connection &) = delete;

	int fd() const { return fd_; }
	uint32_t id() const { return id_; }

	// Reads what the socket holds now (bounded per call). At EOF or on a
	// read error the connection is closed, but the complete frames read
	// before still count: a client may send and hang up at once.
	void fill();
	// Moves the next complete frame into frame; false when none is complete.
	// A frame with an invalid header marks the connection broken.
	bool next_frame(Frame &frame);

	void send(Frame frame);
	// Sends what is queued, as far as the socket takes it.
	void flush();
	bool wants_write() const { return !queue_.empty(); }

	// Broken: to be dropped without reading more. Closed: the peer is gone.
	bool broken() const { return broken_; }
	bool closed() const { return closed_; }
	void mark_broken() { broken_ = true; }

	// Whether the event loop currently watches for writability.
	bool watching_write = false;

private:
	int fd_;
	uint32_t id_;
	bool broken_ = false;
	bool closed_ = false;
	std::vector<uint8_t> in_;
	size_t in_start_ = 0;
	std::deque<Frame> queue_;
	size_t queue_offset_ = 0;  // bytes of queue_.front() already sent
	size_t queued_bytes_ = 0;
};
