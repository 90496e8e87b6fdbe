#include "connection.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

#include "ubus_wire.h"

namespace {
constexpr size_t kReadChunk = 64 * 1024;
constexpr size_t kReadPerCall = 4 * kReadChunk;  // then let others have a turn
}  // namespace

Connection::Connection(int fd, uint32_t id) : fd_(fd), id_(id) {}

Connection::~Connection()
{
	close(fd_);
}

void Connection::fill()
{
	size_t total = 0;
	while (!broken_ && !closed_ && total < kReadPerCall) {
		size_t old = in_.size();
		in_.resize(old + kReadChunk);
		ssize_t n = recv(fd_, in_.data() + old, kReadChunk, MSG_DONTWAIT);
		in_.resize(old + (n > 0 ? n : 0));
		if (n > 0) {
			total += n;
			continue;
		}
		if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
			break;
		if (n < 0 && errno == EINTR)
			continue;
		closed_ = true;  // EOF or a real error
	}
}

bool Connection::next_frame(Frame &frame)
{
	const uint8_t *start = in_.data() + in_start_;
	size_t avail = in_.size() - in_start_;
	long len = ubus_wire_frame_len(start, avail);
	if (len < 0) {
		broken_ = true;
		return false;
	}
	if (len == 0 || avail < static_cast<size_t>(len)) {
		// Keep only the partial frame at the front of the buffer.
		in_.erase(in_.begin(), in_.begin() + in_start_);
		in_start_ = 0;
		return false;
	}
	frame.assign(start, start + len);
	in_start_ += len;
	return true;
}

void Connection::send(Frame frame)
{
	if (broken_)
		return;
	queued_bytes_ += frame.size();
	queue_.push_back(std::move(frame));
	if (queued_bytes_ > kMaxQueued) {
		broken_ = true;
		return;
	}
	if (queue_.size() == 1)
		flush();
}

void Connection::flush()
{
	while (!broken_ && !queue_.empty()) {
		const Frame &front = queue_.front();
		ssize_t n = ::send(fd_, front.data() + queue_offset_, front.size() - queue_offset_,
				   MSG_DONTWAIT | MSG_NOSIGNAL);
		if (n < 0) {
			if (errno == EINTR)
				continue;
			if (errno != EAGAIN && errno != EWOULDBLOCK)
				broken_ = true;
			return;
		}
		queue_offset_ += n;
		if (queue_offset_ == front.size()) {
			queued_bytes_ -= front.size();
			queue_.pop_front();
			queue_offset_ = 0;
		}
	}
}
