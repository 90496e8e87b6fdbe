#include "broker.h"

#include <cstring>

#include <libubus.h>
extern "C" {
#include <libubox/blobmsg.h>
}

#include "ubus_wire.h"

namespace {

// A frame built with the wire helpers, handed over as a vector.
class FrameBuilder {
public:
	FrameBuilder(uint8_t type, uint32_t seq) { ubus_wire_begin(&b_, type, seq); }
	~FrameBuilder() { ubus_wire_release(&b_); }
	FrameBuilder(const FrameBuilder &) = delete;
	FrameBuilder &operator=(const FrameBuilder &) = delete;

	FrameBuilder &u32(int attr, uint32_t v) { ubus_wire_put_u32(&b_, attr, v); return *this; }
	FrameBuilder &u8(int attr, uint8_t v) { ubus_wire_put_u8(&b_, attr, v); return *this; }
	FrameBuilder &str(int attr, const std::string &s) { ubus_wire_put_string(&b_, attr, s.c_str()); return *this; }
	FrameBuilder &raw(int attr, const void *p, size_t n) { ubus_wire_put(&b_, attr, p, n); return *this; }
	// Copies a received attribute as it is, when present.
	FrameBuilder &copy(int attr, const uint8_t *a)
	{
		if (a)
			ubus_wire_put(&b_, attr, ubus_wire_payload(a), ubus_wire_payload_len(a));
		return *this;
	}

	// An empty frame when it could not be built (too large).
	Frame take()
	{
		if (!ubus_wire_end(&b_))
			return {};
		return Frame(b_.data, b_.data + b_.len);
	}

private:
	ubus_wire_buf b_{};
};

// Event patterns: exact, or a prefix when they end in '*'.
bool pattern_matches(const std::string &pattern, const char *type)
{
	if (!pattern.empty() && pattern.back() == '*')
		return strncmp(type, pattern.c_str(), pattern.size() - 1) == 0;
	return pattern == type;
}

bool path_matches(const std::string &pattern, const std::string &path)
{
	if (!pattern.empty() && pattern.back() == '*')
		return path.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
	return pattern == path;
}

}  // namespace

Connection &Broker::add_client(int fd)
{
	uint32_t id = ++last_client_id_;
	if (!id)
		id = ++last_client_id_;
	auto conn = std::make_unique<Connection>(fd, id);
	Connection &c = *conn;
	clients_[id] = std::move(conn);
	c.send(FrameBuilder(UBUS_WIRE_HELLO, 0).u32(UBUS_WIRE_ATTR_CLIENT, id).take());
	return c;
}

Connection *Broker::client(uint32_t id)
{
	auto it = clients_.find(id);
	return it == clients_.end() ? nullptr : it->second.get();
}

void Broker::process_input(Connection &c)
{
	c.fill();
	Frame raw;
	while (!c.broken() && c.next_frame(raw)) {
		ubus_wire_frame f;
		if (!ubus_wire_parse(raw.data(), raw.size(), &f)) {
			c.mark_broken();
			break;
		}
		dispatch(c, raw, f);
	}
}

void Broker::drop_finished()
{
	// Removing objects sends notices, which may in turn break other
	// connections whose queues overflow; repeat until none is left.
	for (;;) {
		uint32_t gone = 0;
		for (auto &[id, conn] : clients_) {
			if (conn->broken() || conn->closed()) {
				gone = id;
				break;
			}
		}
		if (!gone)
			return;
		std::vector<uint32_t> owned;
		for (auto &[id, obj] : objects_)
			if (obj.owner == gone)
				owned.push_back(id);
		// Unlisted first, so that nothing more is sent to it.
		clients_.erase(gone);
		for (uint32_t id : owned)
			remove_object(id);
	}
}

void Broker::send_to(uint32_t client_id, Frame frame)
{
	Connection *c = client(client_id);
	if (c && !frame.empty())
		c->send(std::move(frame));
}

void Broker::reply_status(Connection &c, uint32_t seq, int status)
{
	c.send(FrameBuilder(UBUS_WIRE_STATUS, seq).u32(UBUS_WIRE_ATTR_STATUS, status).take());
}

void Broker::dispatch(Connection &c, const Frame &raw, const ubus_wire_frame &f)
{
	switch (f.type) {
	case UBUS_WIRE_LOOKUP:
		return lookup(c, f);
	case UBUS_WIRE_ADD_OBJECT:
		return add_object(c, f);
	case UBUS_WIRE_REMOVE_OBJECT:
		return remove_object_request(c, f);
	case UBUS_WIRE_SUBSCRIBE:
		return subscribe(c, f, true);
	case UBUS_WIRE_UNSUBSCRIBE:
		return subscribe(c, f, false);
	case UBUS_WIRE_INVOKE:
		return invoke(c, f);
	case UBUS_WIRE_NOTIFY:
		return notify(c, f);
	case UBUS_WIRE_STATUS:
	case UBUS_WIRE_DATA:
		return route_answer(c, raw, f);
	case UBUS_WIRE_EVENT_REGISTER:
		return register_event(c, f);
	case UBUS_WIRE_EVENT_SEND:
		return send_event(c, f);
	default:
		return reply_status(c, f.seq, UBUS_STATUS_INVALID_COMMAND);
	}
}

void Broker::lookup(Connection &c, const ubus_wire_frame &f)
{
	const uint8_t *path_attr = f.attr[UBUS_WIRE_ATTR_OBJPATH];
	std::string pattern = path_attr ? ubus_wire_get_string(path_attr) : "";
	bool found = false;
	for (auto &[path, id] : paths_) {
		if (!pattern.empty() && !path_matches(pattern, path))
			continue;
		const BusObject &obj = objects_[id];
		FrameBuilder data(UBUS_WIRE_DATA, f.seq);
		data.u32(UBUS_WIRE_ATTR_OBJID, obj.id)
			.str(UBUS_WIRE_ATTR_OBJPATH, obj.path)
			.u32(UBUS_WIRE_ATTR_OBJTYPE, obj.type_id);
		if (!obj.signature.empty())
			data.raw(UBUS_WIRE_ATTR_SIGNATURE, obj.signature.data(), obj.signature.size());
		c.send(data.take());
		found = true;
	}
	reply_status(c, f.seq, found || pattern.empty() ? UBUS_STATUS_OK : UBUS_STATUS_NOT_FOUND);
}

uint32_t Broker::next_object_id()
{
	do
		++last_object_id_;
	while (!last_object_id_ || objects_.count(last_object_id_));
	return last_object_id_;
}

void Broker::add_object(Connection &c, const ubus_wire_frame &f)
{
	const uint8_t *path_attr = f.attr[UBUS_WIRE_ATTR_OBJPATH];
	std::string path = path_attr ? ubus_wire_get_string(path_attr) : "";
	if (path_attr && (path.empty() || paths_.count(path)))
		return reply_status(c, f.seq, UBUS_STATUS_INVALID_ARGUMENT);

	BusObject obj;
	obj.id = next_object_id();
	obj.owner = c.id();
	obj.path = path;
	const uint8_t *type_attr = f.attr[UBUS_WIRE_ATTR_OBJTYPE];
	obj.type_id = type_attr ? ubus_wire_get_u32(type_attr) : 0;
	if (!obj.type_id)
		obj.type_id = ++last_type_id_;
	if (const uint8_t *sig = f.attr[UBUS_WIRE_ATTR_SIGNATURE]) {
		auto p = static_cast<const uint8_t *>(ubus_wire_payload(sig));
		obj.signature.assign(p, p + ubus_wire_payload_len(sig));
	}

	c.send(FrameBuilder(UBUS_WIRE_STATUS, f.seq)
		       .u32(UBUS_WIRE_ATTR_STATUS, UBUS_STATUS_OK)
		       .u32(UBUS_WIRE_ATTR_OBJID, obj.id)
		       .u32(UBUS_WIRE_ATTR_OBJTYPE, obj.type_id)
		       .take());
	uint32_t id = obj.id;
	if (!path.empty())
		paths_[path] = id;
	objects_[id] = std::move(obj);
	if (!path.empty())
		announce("ubus.object.add", objects_[id]);
}

BusObject *Broker::owned_object(const Connection &c, const ubus_wire_frame &f)
{
	const uint8_t *id_attr = f.attr[UBUS_WIRE_ATTR_OBJID];
	if (!id_attr)
		return nullptr;
	auto it = objects_.find(ubus_wire_get_u32(id_attr));
	if (it == objects_.end() || it->second.owner != c.id())
		return nullptr;
	return &it->second;
}

void Broker::remove_object_request(Connection &c, const ubus_wire_frame &f)
{
	BusObject *obj = owned_object(c, f);
	if (!obj)
		return reply_status(c, f.seq, UBUS_STATUS_NOT_FOUND);
	remove_object(obj->id);
	reply_status(c, f.seq, UBUS_STATUS_OK);
}

void Broker::subscribers_changed(const BusObject &obj, bool active)
{
	send_to(obj.owner, FrameBuilder(UBUS_WIRE_SUBSCRIBERS, 0)
				   .u32(UBUS_WIRE_ATTR_OBJID, obj.id)
				   .u8(UBUS_WIRE_ATTR_ACTIVE, active)
				   .take());
}

void Broker::remove_object(uint32_t id)
{
	auto it = objects_.find(id);
	if (it == objects_.end())
		return;
	BusObject obj = std::move(it->second);
	objects_.erase(it);
	if (!obj.path.empty())
		paths_.erase(obj.path);

	for (uint32_t sub_id : obj.subscribers) {
		auto sub = objects_.find(sub_id);
		if (sub == objects_.end())
			continue;
		sub->second.subscriptions.erase(id);
		send_to(sub->second.owner, FrameBuilder(UBUS_WIRE_REMOVED, 0)
						   .u32(UBUS_WIRE_ATTR_OBJID, sub_id)
						   .u32(UBUS_WIRE_ATTR_TARGET, id)
						   .take());
	}
	for (uint32_t target_id : obj.subscriptions) {
		auto target = objects_.find(target_id);
		if (target == objects_.end())
			continue;
		target->second.subscribers.erase(id);
		if (target->second.subscribers.empty())
			subscribers_changed(target->second, false);
	}
	if (!obj.path.empty())
		announce("ubus.object.remove", obj);
}

void Broker::subscribe(Connection &c, const ubus_wire_frame &f, bool on)
{
	BusObject *sub = owned_object(c, f);
	const uint8_t *target_attr = f.attr[UBUS_WIRE_ATTR_TARGET];
	if (!sub || !target_attr)
		return reply_status(c, f.seq, UBUS_STATUS_INVALID_ARGUMENT);
	auto target = objects_.find(ubus_wire_get_u32(target_attr));
	if (target == objects_.end())
		return reply_status(c, f.seq, UBUS_STATUS_NOT_FOUND);
	BusObject &t = target->second;

	if (on) {
		bool first = t.subscribers.empty();
		t.subscribers.insert(sub->id);
		sub->subscriptions.insert(t.id);
		reply_status(c, f.seq, UBUS_STATUS_OK);
		if (first)
			subscribers_changed(t, true);
		return;
	}
	if (!t.subscribers.erase(sub->id))
		return reply_status(c, f.seq, UBUS_STATUS_NOT_FOUND);
	sub->subscriptions.erase(t.id);
	reply_status(c, f.seq, UBUS_STATUS_OK);
	if (t.subscribers.empty())
		subscribers_changed(t, false);
}

void Broker::invoke(Connection &c, const ubus_wire_frame &f)
{
	const uint8_t *id_attr = f.attr[UBUS_WIRE_ATTR_OBJID];
	const uint8_t *method = f.attr[UBUS_WIRE_ATTR_METHOD];
	if (!id_attr || !method)
		return reply_status(c, f.seq, UBUS_STATUS_INVALID_ARGUMENT);
	auto it = objects_.find(ubus_wire_get_u32(id_attr));
	if (it == objects_.end())
		return reply_status(c, f.seq, UBUS_STATUS_NOT_FOUND);
	send_to(it->second.owner, FrameBuilder(UBUS_WIRE_INVOKE, f.seq)
					  .u32(UBUS_WIRE_ATTR_OBJID, it->second.id)
					  .copy(UBUS_WIRE_ATTR_METHOD, method)
					  .copy(UBUS_WIRE_ATTR_DATA, f.attr[UBUS_WIRE_ATTR_DATA])
					  .copy(UBUS_WIRE_ATTR_NO_REPLY, f.attr[UBUS_WIRE_ATTR_NO_REPLY])
					  .u32(UBUS_WIRE_ATTR_CLIENT, c.id())
					  .take());
}

void Broker::notify(Connection &c, const ubus_wire_frame &f)
{
	BusObject *obj = owned_object(c, f);
	const uint8_t *method = f.attr[UBUS_WIRE_ATTR_METHOD];
	const uint8_t *no_reply = f.attr[UBUS_WIRE_ATTR_NO_REPLY];
	bool wants_replies = !no_reply || !ubus_wire_get_u8(no_reply);
	if (!obj || !method) {
		if (wants_replies)
			reply_status(c, f.seq, obj ? UBUS_STATUS_INVALID_ARGUMENT : UBUS_STATUS_NOT_FOUND);
		return;
	}
	// The count goes first, so the notifier knows how many answers follow.
	if (wants_replies)
		c.send(FrameBuilder(UBUS_WIRE_STATUS, f.seq)
			       .u32(UBUS_WIRE_ATTR_STATUS, UBUS_STATUS_OK)
			       .u32(UBUS_WIRE_ATTR_COUNT, obj->subscribers.size())
			       .take());
	for (uint32_t sub_id : obj->subscribers) {
		auto sub = objects_.find(sub_id);
		if (sub == objects_.end())
			continue;
		send_to(sub->second.owner, FrameBuilder(UBUS_WIRE_INVOKE, f.seq)
						   .u32(UBUS_WIRE_ATTR_OBJID, sub_id)
						   .copy(UBUS_WIRE_ATTR_METHOD, method)
						   .copy(UBUS_WIRE_ATTR_DATA, f.attr[UBUS_WIRE_ATTR_DATA])
						   .u8(UBUS_WIRE_ATTR_NO_REPLY, !wants_replies)
						   .u32(UBUS_WIRE_ATTR_TARGET, obj->id)
						   .u32(UBUS_WIRE_ATTR_CLIENT, c.id())
						   .take());
	}
}

void Broker::route_answer(Connection &c, const Frame &raw, const ubus_wire_frame &f)
{
	const uint8_t *client_attr = f.attr[UBUS_WIRE_ATTR_CLIENT];
	if (!client_attr)
		return;
	// The receiver learns who answered: the client attribute names the sender.
	Frame copy = raw;
	size_t offset = client_attr - raw.data();
	ubus_wire_store_be32(copy.data() + offset + 4, c.id());
	send_to(ubus_wire_get_u32(client_attr), std::move(copy));
}

void Broker::register_event(Connection &c, const ubus_wire_frame &f)
{
	BusObject *obj = owned_object(c, f);
	const uint8_t *pattern = f.attr[UBUS_WIRE_ATTR_PATTERN];
	if (!obj || !pattern)
		return reply_status(c, f.seq, UBUS_STATUS_INVALID_ARGUMENT);
	obj->patterns.emplace_back(ubus_wire_get_string(pattern));
	reply_status(c, f.seq, UBUS_STATUS_OK);
}

void Broker::send_event(Connection &c, const ubus_wire_frame &f)
{
	const uint8_t *type = f.attr[UBUS_WIRE_ATTR_METHOD];
	if (!type)
		return reply_status(c, f.seq, UBUS_STATUS_INVALID_ARGUMENT);
	reply_status(c, f.seq, UBUS_STATUS_OK);
	deliver_event(ubus_wire_get_string(type), f.attr[UBUS_WIRE_ATTR_DATA]);
}

void Broker::deliver_event(const char *type, const uint8_t *data_attr)
{
	for (auto &[id, obj] : objects_) {
		for (const std::string &pattern : obj.patterns) {
			if (!pattern_matches(pattern, type))
				continue;
			FrameBuilder event(UBUS_WIRE_EVENT, 0);
			event.u32(UBUS_WIRE_ATTR_OBJID, id).str(UBUS_WIRE_ATTR_METHOD, type);
			event.copy(UBUS_WIRE_ATTR_DATA, data_attr);
			send_to(obj.owner, event.take());
			break;  // once per listener, however many of its patterns match
		}
	}
}

// The broker's own events when a named object comes or goes:
// { "id": <object id>, "path": <path> }.
void Broker::announce(const char *event, const BusObject &obj)
{
	blob_buf b{};
	blob_buf_init(&b, 0);
	blobmsg_add_u32(&b, "id", obj.id);
	blobmsg_add_string(&b, "path", obj.path.c_str());
	FrameBuilder carrier(UBUS_WIRE_EVENT, 0);
	carrier.raw(UBUS_WIRE_ATTR_DATA, b.head, blob_raw_len(b.head));
	Frame frame = carrier.take();
	blob_buf_free(&b);

	ubus_wire_frame f;
	if (!frame.empty() && ubus_wire_parse(frame.data(), frame.size(), &f))
		deliver_event(event, f.attr[UBUS_WIRE_ATTR_DATA]);
}
