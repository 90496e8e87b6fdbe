#!/bin/busybox sh
# /init of the emulated access point. The image's programs run on the
# target platform with this init and busybox, as on the device:
#
#   boot   the kernel's message queue limits, a full-size scan posted before
#          and after /etc/sysctl.d is applied; the configuration
#   story  the broker, the "service" object, airsift, linetap, confwatch and
#          a subscriber; log lines, scans (one of 64 records), a burst of
#          configuration changes and its one reload
#   load   1,000 full scans and 10,000 log lines, each line of output
#          counted, with the daemons' memory before and after
#   stop   stop signals to every process
#   lost   the daemons started again, one change announced, the broker killed
#   refused  what the broker refuses: airsift as its user without the image's
#          ACL files; the user nobody publishing or subscribing
#   flood  nobody keeps the scan queue full; a consumer subscribes, airsift
#          serves it and stops
# and beside all of it pinrig's GPIO scenarios on gpio-sim chips
# (/test/gpio.sh, /test/scenarios.sh). airsift and linetap run as their own
# users, under the broker with the image's ACL files, and the consumer of
# their telemetry as the user collector, with an ACL file of its own.
#
# What it saw goes to the console in frames that the host reads
# (tests/device/device_vm.py):
#   @@up <uptime>                  /init runs
#   @@errno x<hex>                 "<n> <strerror(n)>" lines of the C library
#   @@value <name> <value>         a measurement
#   @@memory <phase> <program> <Rss kB> <Pss kB> <Private_Dirty kB>
#   @@text <name> x<hex>           the transcript of a phase
#   @@base, @@step                 the GPIO scenarios
#   @@fail <what>                  the guest could not go on
#   @@done <uptime>                all of it ran
# Texts travel in hex so that every byte crosses the console as it was.
# Then the machine powers off.

/bin/busybox --install -s /bin
export PATH=/usr/sbin:/usr/bin:/sbin:/bin:/usr/local/bin

RUN=/tmp/run            # what the processes write
TEXTS=/tmp/texts        # the transcripts being built
STORY=/test/story       # what the host prepared
BOUND=120               # seconds any one wait may take
STOP_BOUND=10           # seconds a process may take to end once told

uptime() { cut -d' ' -f1 /proc/uptime; }

# When each phase began, for the report.
phase() { echo "@@value $1_at $(uptime)"; }

hex() {
	printf x
	[ ! -s "$1" ] || xxd -p "$1" | tr -d '\n'
}

poweroff_now() {
	sync
	echo o > /proc/sysrq-trigger
	sleep 30
}

# Ends the run: what was built so far goes out, so the host can show it.
fail() {
	exec > /dev/console 2>&1
	echo "@@fail $*"
	for text in $TEXTS/*; do
		[ -e "$text" ] && echo "@@text ${text##*/} $(hex "$text")"
	done
	for output in $RUN/*.out $RUN/*.err $RUN/*.log; do
		[ -e "$output" ] || continue
		tail -n 40 "$output" > $RUN/tail
		echo "@@text last-lines:${output##*/} $(hex $RUN/tail)"
	done
	poweroff_now
}

count_in() {
	local n
	n=$(grep -cF -- "$2" "$1" 2>/dev/null)
	echo "${n:-0}"
}

# wait_until <what> <command>...: until the command succeeds.
wait_until() {
	local what=$1 tries=0
	shift
	while ! "$@"; do
		tries=$((tries + 1))
		[ $tries -le $((BOUND * 10)) ] || fail "waited $BOUND s for $what"
		usleep 100000
	done
}

has_lines() { [ "$(count_in "$1" "$2")" -ge "$3" ]; }

# wait_for <file> <text> [<count>]: until <count> (default 1) lines of
# <file> contain <text>.
wait_for() {
	wait_until "${3:-1} lines with '$2' in ${1##*/} ($(count_in "$1" "$2") so far)" \
		has_lines "$1" "$2" "${3:-1}"
}

exited() {
	[ ! -e /proc/$1/stat ] || [ "$(cut -d' ' -f3 /proc/$1/stat)" = Z ]
}

# status_of <name>: waits for the process started as <name> to end and adds
# "<name> <exit status>" to $RUN/statuses.
status_of() {
	local pid tries=0
	eval "pid=\$pid_$1"
	while ! exited $pid; do
		tries=$((tries + 1))
		[ $tries -le $((STOP_BOUND * 100)) ] || fail "$1 did not end within $STOP_BOUND s"
		usleep 10000
	done
	wait $pid
	echo "$1 $?" >> $RUN/statuses
}

# start <name> <input> <program> [<argument>...]: runs a program in the
# background with <input> as standard input, its output in $RUN/<name>.out
# and .err, its pid in $pid_<name>. The console and the writers the shell
# keeps open on the FIFOs (3 and 4) stay out of it.
start() {
	local name=$1 input=$2
	shift 2
	"$@" < "$input" > $RUN/$name.out 2> $RUN/$name.err 3>&- 4>&- &
	eval "pid_$name=$!"
}

# as_user <user> <program> [<argument>...]: runs the program as <user>, in
# this same process.
as_user() {
	local user=$1
	shift
	exec su -s /bin/sh -c 'exec "$0" "$@"' "$user" "$@"
}

# A FIFO as a process's standard input: open_input <fd> <fifo> once the
# process was started on it; the shell then writes to it with >&<fd>.
open_input() {
	eval "exec $1> $2"
}

memory() {
	for program in airsift linetap confwatch; do
		local pid
		eval "pid=\$pid_$program"
		echo "@@memory $1 $program $(awk '/^Rss:/ { rss = $2 } /^Pss:/ { pss = $2 }
			/^Private_Dirty:/ { own = $2 } END { print rss, pss, own }' \
			/proc/$pid/smaps_rollup)"
	done
}

# Transcripts: section <title> <file> [<from> [<to>]] adds "== <title>" and
# the file's lines after line <from> up to line <to> to the phase's text.
section() {
	local title=$1 file=$2 from=${3:-0} to=${4:-}
	[ -n "$to" ] || to='$'
	echo "== $title" >> $TEXT
	[ -e "$file" ] && sed -n "$((from + 1)),${to}p" "$file" >> $TEXT
}

begin_text() { TEXT=$TEXTS/$1; : > $TEXT; }

end_text() { echo "@@text ${TEXT##*/} $(hex $TEXT)"; }

# airsift's reports carry the guest's clock: the time goes, the rest stays.
mask_time() {
	sed '/^{ "airsift"/s/"timestamp":[0-9]*/"timestamp":<ms>/' "$@"
}

# The lengths, in lines, of every output at this moment: mark <name>.
mark() {
	for output in $RUN/*.out $RUN/*.err $RUN/*.log; do
		[ ! -e $output ] || wc -l < $output > $output.$1
	done
}
at() { cat $RUN/$1.$2; }

# -- boot ----------------------------------------------------------------------

mount_all() {
	mount -t proc proc /proc && mount -t sysfs sys /sys && mount -t devtmpfs dev /dev &&
		mount -t tmpfs tmp /tmp && mount -t tmpfs run /var/run || fail mounts
	mkdir -p $RUN $TEXTS /var/run/ubus
	echo "@@up $(uptime)"
	for number in $(seq 1 40); do
		echo "$number $(libc_probe strerror $number)"
	done > $RUN/errors
	echo "@@errno $(hex $RUN/errors)"
}

limits() {
	echo "kernel.msgmax = $(cat /proc/sys/kernel/msgmax)"
	echo "kernel.msgmnb = $(cat /proc/sys/kernel/msgmnb)"
}

# The kernel as it boots, a full scan posted on its limits, then the image's
# sysctl.d applied, as the device's init does.
queue_limits() {
	begin_text boot
	limits > $RUN/limits.boot
	section "limits at boot" $RUN/limits.boot
	scan-send < $STORY/full-scan.txt > $RUN/probe.out 2> $RUN/probe.err
	echo "scan-send $?" > $RUN/probe.status
	section "a full scan posted at these limits" $RUN/probe.err
	section "its exit status" $RUN/probe.status
	# Quiet: what it set shows below, in words that busybox versions do not change.
	for conf in /etc/sysctl.d/*.conf; do
		sysctl -q -p "$conf"
	done > $RUN/sysctl.out 2>&1
	section "sysctl -p /etc/sysctl.d/*.conf" $RUN/sysctl.out
	limits > $RUN/limits.applied
	section "limits applied" $RUN/limits.applied
	awk 'NR > 1 { print "messages", $5, "bytes", $4 }' /proc/sysvipc/msg > $RUN/queues
	section "the scan queue" $RUN/queues
	{ uci show luci_statistics && uci show vornel_cur_wireless; } > $RUN/uci.out 2>&1
	section "the configuration the daemons read (uci show)" $RUN/uci.out
	end_text
}

# -- story ---------------------------------------------------------------------

# start_broker [<argument>...]: ubusd, until its socket is there.
start_broker() {
	start ubusd /dev/null ubusd "$@"
	local tries=0
	while [ ! -S /var/run/ubus/ubus.sock ]; do
		tries=$((tries + 1))
		[ $tries -le $((BOUND * 100)) ] || fail "no bus socket"
		usleep 10000
	done
}

stop_broker() {
	kill -TERM $pid_ubusd
	status_of ubusd
}

# airsift and linetap, each as its own user; linetap reads the FIFO that the
# shell writes to through descriptor 4.
start_telemetry() {
	start airsift /dev/null as_user airsift airsift
	wait_for $RUN/airsift.err "Daemon started. Listening for messages..."
	rm -f $RUN/logread
	mkfifo $RUN/logread
	start linetap $RUN/logread as_user linetap linetap
	open_input 4 $RUN/logread
}

# The broker, the "service" object and the three daemons; returns once
# confwatch subscribed to "service" and both telemetry objects are on the bus.
start_system() {
	start_broker
	rm -f $RUN/service.in
	mkfifo $RUN/service.in
	start service $RUN/service.in service-stub
	open_input 3 $RUN/service.in
	wait_for $RUN/service.out "added"
	start_telemetry
	start confwatch /dev/null confwatch
	wait_for $RUN/service.out "subscribers 1"
	ubus -t $BOUND wait_for telemetry_airsift telemetry_linetap || fail "telemetry objects"
}

subscribe() {
	start subscriber /dev/null as_user collector ubus subscribe telemetry_airsift telemetry_linetap
	wait_for $RUN/airsift.err "(has_subscribers=1)"
	wait_for $RUN/linetap.err "(has_subscribers=1)"
}

judged() {
	[ $(($(count_in $RUN/linetap.err "Log accepted: ") +
	     $(count_in $RUN/linetap.err "Log rejected: "))) -ge "$1" ]
}

# feed_log <file>: its lines to linetap; returns once linetap judged each
# and the subscriber got every line it accepted.
feed_log() {
	local lines
	lines=$(($(wc -l < "$1") + $(cat $RUN/log.lines 2>/dev/null || echo 0)))
	echo $lines > $RUN/log.lines
	cat "$1" >&4
	wait_until "linetap to judge $lines lines" judged $lines
	wait_for $RUN/subscriber.out '{ "syslog": ' "$(count_in $RUN/linetap.err "Log accepted: ")"
}

# post_scans <file>: its scans on the queue; returns once airsift took each
# and the subscriber got every report airsift sent.
post_scans() {
	local scans
	scans=$(awk '$1 == "post" { n += ($3 == "" ? 1 : $3) } END { print n }' "$1")
	scans=$((scans + $(cat $RUN/scans 2>/dev/null || echo 0)))
	echo $scans > $RUN/scans
	scan-send < "$1" 2>> $RUN/scan-send.err || fail "scan-send: $(cat $RUN/scan-send.err)"
	wait_for $RUN/airsift.err "Received " $scans
	wait_for $RUN/subscriber.out '{ "airsift": ' \
		"$(count_in $RUN/airsift.err "UBus notification successfully sent.")"
}

# Three changes half a second apart; confwatch runs reknit 10 s after the
# last. Its time is taken before it is sent: confwatch cannot have heard it
# earlier, so a reload on time is never measured short.
change_configuration() {
	for n in 1 2 3; do
		[ $n = 1 ] || usleep 500000
		LAST_CHANGE=$(uptime)
		echo "notify config.change" >&3
		wait_for $RUN/service.out "notified config.change" $n
	done
}

await_reload() {
	wait_for $RUN/reknit.log "reknit: reloading services (run 1)"
	local ran
	ran=$(head -n 1 $RUN/reknit.times)
	echo "@@value reload_delay $(awk -v a=$LAST_CHANGE -v b=$ran 'BEGIN { printf "%.2f", b - a }')"
}

# The story up to the burst of changes; the load that follows fills the
# ten quiet seconds before the reload.
story() {
	start_system
	subscribe
	memory rest
	feed_log $STORY/log.txt
	post_scans $STORY/scans.txt
	change_configuration
	mark load
}

# The user a process runs as, by its real uid.
user_of() {
	local uid
	uid=$(awk '/^Uid:/ { print $2 }' /proc/$1/status)
	awk -F: -v uid="$uid" '$3 == uid { print $1 }' /etc/passwd
}

story_text() {
	await_reload
	begin_text story
	for name in ubusd service airsift linetap confwatch subscriber; do
		eval "echo $name \$(user_of \$pid_$name)"
	done > $RUN/users
	section "the user each process runs as" $RUN/users
	text_of_system "" load
	section "reknit log" $RUN/reknit.log
	end_text
}

# Every output of the system, after mark <from> (or from the start) up to
# mark <to> (or to the end).
text_of_system() {
	local from=$1 to=$2 first last
	for output in airsift.err linetap.err subscriber.out service.out confwatch.out \
		      confwatch.err ubusd.out ubusd.err; do
		first=0 last='$'
		[ -z "$from" ] || first=$(at $output $from)
		[ -z "$to" ] || last=$(at $output $to)
		section "${output%.*} ${output#*.}" $RUN/$output $first $last
	done
	mask_time -i $TEXT
}

# -- load ----------------------------------------------------------------------

# What came during the load, each distinct line counted.
counted() {
	sed -n "$(($(at $1 load) + 1)),$(at $1 loaded)p" $RUN/$1 | mask_time | sort | uniq -c |
		sed 's/^ *//' >> $TEXT
}

load() {
	local started=$(uptime)
	post_scans $STORY/load-scans.txt
	local scanned=$(uptime)
	feed_log $STORY/load-log.txt
	echo "@@value load_scans_s $(awk -v a=$started -v b=$scanned 'BEGIN { print b - a }')"
	echo "@@value load_lines_s $(awk -v a=$scanned -v b=$(uptime) 'BEGIN { print b - a }')"
	memory loaded
	mark loaded
	begin_text load
	for output in airsift.err linetap.err subscriber.out; do
		echo "== ${output%.*} ${output#*.}, each line counted" >> $TEXT
		counted $output
	done
	end_text
}

# -- stop ----------------------------------------------------------------------

stop_system() {
	kill -TERM $pid_subscriber
	status_of subscriber
	wait_for $RUN/airsift.err "(has_subscribers=0)"
	wait_for $RUN/linetap.err "(has_subscribers=0)"
	kill -INT $pid_airsift
	status_of airsift
	kill -TERM $pid_linetap
	status_of linetap
	kill -TERM $pid_confwatch
	status_of confwatch
	exec 3>&- 4>&-
	status_of service
	kill -TERM $pid_ubusd
	status_of ubusd
	begin_text stop
	text_of_system loaded ""
	section "exit statuses" $RUN/statuses
	end_text
}

# -- lost ----------------------------------------------------------------------

lose_broker() {
	rm -f $RUN/*.out $RUN/*.err $RUN/statuses
	start_system
	echo "notify config.change" >&3
	wait_for $RUN/service.out "notified config.change 0"
	kill -KILL $pid_ubusd
	status_of ubusd
	for name in airsift linetap confwatch service; do
		status_of $name
	done
	exec 3>&- 4>&-
	begin_text lost
	for output in airsift.err linetap.err service.out confwatch.out confwatch.err; do
		section "${output%.*} ${output#*.}" $RUN/$output
	done
	section "reknit log" $RUN/reknit.log 1
	section "exit statuses" $RUN/statuses
	end_text
}

# -- refused -------------------------------------------------------------------

# attempt <user> <program> [<argument>...]: runs it as <user> until it ends,
# at most STOP_BOUND seconds, and adds what it wrote and its exit status.
attempt() {
	local user=$1
	shift
	timeout $STOP_BOUND su -s /bin/sh -c 'exec "$0" "$@"' "$user" "$@" \
		< /dev/null > $RUN/attempt.out 2>&1
	echo "exit status $?" >> $RUN/attempt.out
	section "$* (as $user)" $RUN/attempt.out
}

# airsift as its user under a broker without the image's ACL files; then,
# under the image's broker, the user nobody publishing the names airsift and
# the "service" object take (while they are free) and subscribing to the
# telemetry objects. confwatch waits for a "service" object all along.
refused() {
	rm -f $RUN/*.out $RUN/*.err $RUN/statuses
	begin_text refused
	mkdir -p $RUN/no-acl
	echo "== the broker without the image's ACL files" >> $TEXT
	start_broker -A $RUN/no-acl
	attempt airsift airsift
	stop_broker
	echo "== the broker with them" >> $TEXT
	start_broker
	start confwatch /dev/null confwatch
	attempt nobody airsift
	attempt nobody service-stub
	start_telemetry
	ubus -t $BOUND wait_for telemetry_airsift telemetry_linetap || fail "telemetry objects"
	attempt nobody ubus subscribe telemetry_airsift
	attempt nobody ubus subscribe telemetry_linetap
	end_text
}

# -- flood ---------------------------------------------------------------------

# nobody keeps the scan queue full (the queue is writable by every user, as
# the scan producer needs); the consumer subscribes meanwhile. airsift serves
# it and stops on SIGTERM within STOP_BOUND while the flood goes on.
flood() {
	rm -f $RUN/statuses
	mark flood
	start flood $STORY/flood.txt as_user nobody scan-send
	wait_for $RUN/airsift.err "Received " 100
	start subscriber /dev/null as_user collector ubus subscribe telemetry_airsift
	wait_for $RUN/airsift.err "(has_subscribers=1)"
	wait_for $RUN/subscriber.out '{ "airsift": '
	{
		exited $pid_flood || echo "the flood goes on as airsift serves its subscriber"
		local asked=$(uptime)
		kill -TERM $pid_airsift
		status_of airsift
		echo "@@value flood_stop_s $(awk -v a=$asked -v b=$(uptime) 'BEGIN { print b - a }')" \
			> /dev/console
		echo "@@value flood_scans $(count_in $RUN/airsift.err "Received ")" > /dev/console
		exited $pid_flood || echo "and as airsift stops"
	} > $RUN/flood.log
	kill -TERM $pid_flood
	status_of flood
	kill -TERM $pid_subscriber
	status_of subscriber
	exec 4>&-
	status_of linetap
	kill -TERM $pid_confwatch
	status_of confwatch
	stop_broker
	begin_text flood
	section "flood" $RUN/flood.log
	echo "== airsift err, each distinct line" >> $TEXT
	sed -n "$(($(at airsift.err flood) + 1)),\$p" $RUN/airsift.err | sort -u >> $TEXT
	echo "== subscriber out, the first line" >> $TEXT
	head -n 1 $RUN/subscriber.out | mask_time >> $TEXT
	section "confwatch out" $RUN/confwatch.out
	section "reknit log" $RUN/reknit.log
	section "exit statuses" $RUN/statuses
	end_text
}

# -- GPIO ----------------------------------------------------------------------

# The board's own GPIO controller leaves gpiochip0 to the simulated chips,
# which pinrig looks for as gpiochip0 and gpiochip1.
gpio_scenarios() {
	for driver in /sys/bus/amba/drivers/pl061_gpio/*.pl061; do
		[ -e "$driver" ] && echo "${driver##*/}" > /sys/bus/amba/drivers/pl061_gpio/unbind
	done
	. /test/gpio.sh
	gpio_boot
	local started=$(uptime)
	. /test/scenarios.sh
	tear_down
	echo "@@value gpio_scenarios_s $(awk -v a=$started -v b=$(uptime) 'BEGIN { print b - a }')"
}

mount_all
insmod /modules/configfs.ko && insmod /modules/gpio-sim.ko || fail modules
phase boot
queue_limits
# The GPIO scenarios leave the system alone: they run beside it.
gpio_scenarios > $RUN/gpio.frames &
pid_gpio=$!
phase story
story
phase load
load
story_text
phase stop
stop_system
phase lost
lose_broker
phase refused
refused
phase flood
flood
wait_until "the GPIO scenarios to end" exited $pid_gpio
cat $RUN/gpio.frames
echo "@@done $(uptime)"
poweroff_now
