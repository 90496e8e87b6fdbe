# pinrig's GPIO scenarios on the kernel's gpio-sim chips, sourced by the
# emulated access point's /init (tests/device/guest_init.sh), which gives
# fail and hex. gpio_boot readies the kernel; then the host's
# /test/scenarios.sh defines build_chips and makes `scenario` and `step`
# calls. For each step one framed line goes to the console (see step); the
# host holds the expectations (pinrig_kernel_scenarios.py).

CONFIG=/sys/kernel/config/gpio-sim
TRACE=/sys/kernel/tracing
WORK=/tmp/step
SCENARIO=none
STEP=0

gpio_fail() {
	fail "gpio scenario $SCENARIO step $STEP: $*"
}

# configfs and gpio-sim are loaded; the GPIO trace events are turned on.
gpio_boot() {
	mount -t configfs none /sys/kernel/config && mount -t tracefs none $TRACE || gpio_fail mounts
	echo 1 > $TRACE/events/gpio/gpio_direction/enable &&
		echo 1 > $TRACE/events/gpio/gpio_value/enable || gpio_fail trace events
	mkdir -p /watch $WORK
}

# Chip building, for build_chips: new_chip <index> <line name>... (an empty
# name leaves the line unnamed); hog_line <index> <offset> <direction>;
# go_live <index>; set_pull <index> <offset> pull-up|pull-down.
new_chip() {
	local chip=$CONFIG/chip$1 offset=0
	shift
	mkdir $chip $chip/bank0 || gpio_fail new_chip
	echo $# > $chip/bank0/num_lines
	for name in "$@"; do
		if [ -n "$name" ]; then
			mkdir $chip/bank0/line$offset && echo "$name" > $chip/bank0/line$offset/name
		fi
		offset=$((offset + 1))
	done
}

hog_line() {
	local line=$CONFIG/chip$1/bank0/line$2
	mkdir -p $line/hog && echo kernel-hog > $line/hog/name && echo $3 > $line/hog/direction ||
		gpio_fail hog_line
}

go_live() {
	echo 1 > $CONFIG/chip$1/live || gpio_fail go_live $1
	local name=$(cat $CONFIG/chip$1/bank0/chip_name)
	[ "$name" = gpiochip$1 ] || gpio_fail "chip$1 came up as $name"
	# The watcher's own node: steps may hide or replace the one in /dev.
	mknod /watch/gpiochip$1 c $(tr : ' ' < /sys/bus/gpio/devices/$name/dev)
	[ -e /tmp/base$1 ] || report_base $1
}

# The kernel traces global GPIO numbers: holding the chip's first line as an
# input (it is one already) shows where the chip's numbers start.
report_base() {
	: > $TRACE/trace
	start_watcher "-h 0" /watch/gpiochip$1
	stop_watcher
	local number=$(sed -n 's/.*gpio_direction: *\([0-9]*\) .*/\1/p' $TRACE/trace)
	[ -n "$number" ] || gpio_fail "no trace for chip$1"
	echo "@@base $1 $number"
	touch /tmp/base$1
}

set_pull() {
	echo $3 > $(chip_sysfs $1)/sim_gpio$2/pull || gpio_fail set_pull
}

# The shell's own read, not cat: steps are many and each process costs.
chip_sysfs() {
	local device
	read -r device < $CONFIG/chip$1/dev_name
	echo /sys/devices/platform/$device/gpiochip$1
}

tear_down() {
	for chip in $CONFIG/chip*; do
		[ -d "$chip" ] || continue
		echo 0 > $chip/live
		rmdir $chip/bank0/line*/hog $chip/bank0/line* $chip/bank0 $chip 2>/dev/null
	done
	rm -f /dev/gpiochip* /watch/*
}

# Changes to /dev for one scenario: hide_chip, fake_chip (a character device
# that is not a GPIO chip), file_chip (a plain file), open_chip (mode 0666).
hide_chip() { rm /dev/gpiochip$1 || gpio_fail hide_chip; }
fake_chip() { rm /dev/gpiochip$1; mknod /dev/gpiochip$1 c 1 3 || gpio_fail fake_chip; }
file_chip() { rm /dev/gpiochip$1; echo not a chip > /dev/gpiochip$1 || gpio_fail file_chip; }
open_chip() { chmod 0666 /dev/gpiochip$1 || gpio_fail open_chip; }

scenario() {
	SCENARIO=$1
	STEP=0
	tear_down
	build_chips
}

line_values() {
	for index in 0 1 2; do
		printf " %d=" $index
		local dir=$(chip_sysfs $index) offset=0 value
		while [ -e $dir/sim_gpio$offset ]; do
			read -r value < $dir/sim_gpio$offset/value
			printf %s "$value"
			offset=$((offset + 1))
		done
	done
}

# start_watcher "<gpio-watch options>" <chip>...
# Returns once the watcher watches every line; its events go to $WORK/events.
start_watcher() {
	local options=$1 tries=0
	shift
	rm -f $WORK/ready
	gpio-watch $options $WORK/ready "$@" > $WORK/events 2> $WORK/watch-errors &
	WATCHER=$!
	while [ ! -e $WORK/ready ]; do
		tries=$((tries + 1))
		[ $tries -lt 500 ] && kill -0 $WATCHER 2>/dev/null || gpio_fail "watcher: $(cat $WORK/watch-errors)"
		usleep 10000
	done
}

stop_watcher() {
	kill -TERM $WATCHER
	wait $WATCHER || gpio_fail "watcher: $(cat $WORK/watch-errors)"
}

# step <user> <held offset on chip 0, or -> <pinrig argument>...
# Runs pinrig as root or as an unprivileged user while the watcher records
# the line events of the three chips and the opens in /dev, then prints
#   @@step <scenario> <n> <status> x<stdout> x<stderr> x<events> x<trace> x<opened> x<getopt> <values>
# with the texts in hex, the chip nodes opened in /dev and the values as each
# chip's line levels afterwards.
step() {
	local user=$1 hold=$2 status
	shift 2
	STEP=$((STEP + 1))
	rm -f $WORK/*
	local options="-o /dev"
	[ "$hold" = - ] || options="$options -h $hold"
	start_watcher "$options" /watch/gpiochip0 /watch/gpiochip1 /watch/gpiochip2
	: > $TRACE/trace
	if [ "$user" = root ]; then
		pinrig "$@" > $WORK/out 2> $WORK/err
	else
		su -s /bin/sh -c 'exec pinrig "$@"' -- "$user" pinrig "$@" > $WORK/out 2> $WORK/err
	fi
	status=$?
	stop_watcher
	sed -n 's/^opened \(gpiochip[0-9]*\)$/\1/p' $WORK/events > $WORK/opened
	sed -i '/^opened /d' $WORK/events
	grep -o 'gpio_[a-z]*: .*' $TRACE/trace > $WORK/trace
	libc_probe getopt g:d:v:a: pinrig "$@" > /dev/null 2> $WORK/getopt
	echo "@@step $SCENARIO $STEP $status $(hex $WORK/out) $(hex $WORK/err) $(hex $WORK/events)" \
		"$(hex $WORK/trace) $(hex $WORK/opened) $(hex $WORK/getopt)$(line_values)"
}

