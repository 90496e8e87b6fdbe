// The broker's state: connected clients, the objects they registered,
// subscriptions between objects and event listeners; and what each frame
// a client sends does to that state.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "connection.h"

struct ubus_wire_frame;

struct BusObject {
	uint32_t id = 0;
	uint32_t owner = 0;    // connection id
	uint32_t type_id = 0;
	std::string path;      // empty for objects without a name (subscribers, listeners)
	Frame signature;       // one blob attribute, or empty
	std::set<uint32_t> subscribers;    // ids of objects subscribed to this one
	std::set<uint32_t> subscriptions;  // ids of objects this one is subscribed to
	std::vector<std::string> patterns; // event patterns it listens to
};

class Broker {
public:
	// Takes over an accepted socket; returns the new connection.
	Connection &add_client(int fd);
	Connection *client(uint32_t id);
	// Handles every complete frame the connection has read.
	void process_input(Connection &c);
	// Removes connections that are closed or broken, with all they owned;
	// closing their sockets takes them out of the event loop.
	void drop_finished();
	const std::map<uint32_t, std::unique_ptr<Connection>> &clients() const { return clients_; }

private:
	void dispatch(Connection &c, const Frame &raw, const ubus_wire_frame &f);
	void reply_status(Connection &c, uint32_t seq, int status);
	void send_to(uint32_t client_id, Frame frame);

	void lookup(Connection &c, const ubus_wire_frame &f);
	void add_object(Connection &c, const ubus_wire_frame &f);
	void remove_object_request(Connection &c, const ubus_wire_frame &f);
	void subscribe(Connection &c, const ubus_wire_frame &f, bool on);
	void invoke(Connection &c, const ubus_wire_frame &f);
	void notify(Connection &c, const ubus_wire_frame &f);
	void route_answer(Connection &c, const Frame &raw, const ubus_wire_frame &f);
	void register_event(Connection &c, const ubus_wire_frame &f);
	void send_event(Connection &c, const ubus_wire_frame &f);

	void remove_object(uint32_t id);
	void announce(const char *event, const BusObject &obj);
	void deliver_event(const char *type, const uint8_t *data_attr);
	void subscribers_changed(const BusObject &obj, bool active);
	BusObject *owned_object(const Connection &c, const ubus_wire_frame &f);
	uint32_t next_object_id();

	std::map<uint32_t, std::unique_ptr<Connection>> clients_;
	std::map<uint32_t, BusObject> objects_;
	std::map<std::string, uint32_t> paths_;  // sorted: lookups list in path order
	uint32_t last_client_id_ = 0;
	uint32_t last_object_id_ = 0;
	uint32_t last_type_id_ = 0;
};
