// What uci_lookup_ptr gives the daemons' readers for "package.section.option"
// paths (extended lookup), and what a context leaves behind.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "config_dir.h"

namespace {

const char statistics[] =
	"config statistics 'airsift_ubus_telemetry'\n"
	"\toption max_top_access_points '7'\n"
	"\tlist channels 1\n"
	"\tlist channels 6\n"
	"config statistics 'linetap_ubus_telemetry'\n"
	"\toption min_severity 3\n";

const int complete = uci_ptr::UCI_LOOKUP_DONE | uci_ptr::UCI_LOOKUP_COMPLETE;

class UciLookup : public ::testing::Test {
protected:
	void SetUp() override { dir.write("apsuite_stats", statistics); }
	ConfigDir dir;
};

// A value is there only as a found option of type string; a missing
// option, section or package each look different.
TEST_F(UciLookup, OptionSectionAndPackageResults)
{
	Lookup found(dir, "apsuite_stats.airsift_ubus_telemetry.max_top_access_points");
	ASSERT_EQ(found.rc, UCI_OK);
	ASSERT_NE(found.ptr.o, nullptr);
	EXPECT_EQ(found.ptr.flags & complete, complete);
	EXPECT_EQ(found.ptr.o->type, UCI_TYPE_STRING);
	EXPECT_STREQ(found.ptr.o->v.string, "7");
	EXPECT_EQ(found.ptr.o->section, found.ptr.s);
	EXPECT_EQ(found.ptr.s->package, found.ptr.p);

	Lookup list(dir, "apsuite_stats.airsift_ubus_telemetry.channels");
	EXPECT_EQ(list.rc, UCI_OK);
	ASSERT_NE(list.ptr.o, nullptr);
	EXPECT_EQ(list.ptr.o->type, UCI_TYPE_LIST);

	Lookup no_option(dir, "apsuite_stats.linetap_ubus_telemetry.max_top_access_points");
	EXPECT_EQ(no_option.rc, UCI_OK);
	EXPECT_NE(no_option.ptr.s, nullptr);
	EXPECT_EQ(no_option.ptr.o, nullptr);
	EXPECT_EQ(no_option.ptr.flags & complete, uci_ptr::UCI_LOOKUP_DONE);

	Lookup no_section(dir, "apsuite_stats.absent_ubus_telemetry.min_severity");
	EXPECT_EQ(no_section.rc, UCI_OK);
	EXPECT_NE(no_section.ptr.p, nullptr);
	EXPECT_EQ(no_section.ptr.s, nullptr);
	EXPECT_EQ(no_section.ptr.o, nullptr);

	Lookup no_package(dir, "apsuite_absent.wlan0.wifi_iface");
	EXPECT_EQ(no_package.rc, UCI_ERR_NOTFOUND);
	EXPECT_EQ(no_package.ptr.o, nullptr);

	Lookup section(dir, "apsuite_stats.linetap_ubus_telemetry");
	EXPECT_EQ(section.rc, UCI_OK);
	EXPECT_EQ(section.ptr.o, nullptr);
	EXPECT_EQ(section.ptr.flags & complete, complete);
	Lookup package(dir, "apsuite_stats");
	EXPECT_EQ(package.rc, UCI_OK);
	EXPECT_EQ(package.ptr.s, nullptr);
	EXPECT_EQ(package.ptr.flags & complete, complete);
}

// The library splits the path where it lies: the caller's buffer must be
// writable and live as long as the record's names are read.
TEST_F(UciLookup, PathIsSplitInTheCallersBuffer)
{
	Lookup l(dir, "apsuite_stats.linetap_ubus_telemetry.min_severity=9");
	ASSERT_EQ(l.rc, UCI_OK);
	EXPECT_EQ(0, memcmp(l.path, "apsuite_stats\0linetap_ubus_telemetry\0min_severity\0009", 52));
	EXPECT_EQ(l.ptr.package, l.path);
	EXPECT_EQ(l.ptr.section, l.path + 14);
	EXPECT_EQ(l.ptr.option, l.path + 37);
	EXPECT_EQ(l.ptr.value, l.path + 50);
	ASSERT_NE(l.ptr.o, nullptr);
	EXPECT_STREQ(l.ptr.o->v.string, "3");
}

// An anonymous section is named "cfg", its position and a hash of its
// type, and answers to that name like a named one. A block of that name
// further down makes no section of its own: its options join the
// anonymous section, which stays anonymous. airsift looks a section up by
// an interface name that comes from outside, so it takes only named ones.
TEST_F(UciLookup, AnonymousSectionAnswersToItsGeneratedName)
{
	const std::string anonymous = "config wifi-iface\n\toption wifi_iface 'phy-anonymous'\n";
	dir.write("apsuite_wireless", anonymous);
	Lookup probe(dir, "apsuite_wireless.@wifi-iface[0]");
	ASSERT_EQ(probe.rc, UCI_OK);
	ASSERT_NE(probe.ptr.s, nullptr);
	ASSERT_TRUE(probe.ptr.s->anonymous);
	const std::string generated = probe.ptr.s->e.name;
	EXPECT_EQ(generated.rfind("cfg01", 0), 0u) << generated;

	Lookup by_name(dir, "apsuite_wireless." + generated + ".wifi_iface");
	ASSERT_NE(by_name.ptr.s, nullptr);
	EXPECT_TRUE(by_name.ptr.s->anonymous);
	EXPECT_EQ(by_name.string(), "phy-anonymous");

	dir.write("apsuite_wireless", anonymous + "config wifi-iface '" + generated + "'\n"
							 "\toption mode 'ap'\n");
	Lookup clash(dir, "apsuite_wireless." + generated + ".wifi_iface");
	ASSERT_NE(clash.ptr.s, nullptr);
	EXPECT_TRUE(clash.ptr.s->anonymous);
	EXPECT_EQ(clash.string(), "phy-anonymous");
	EXPECT_EQ(Lookup(dir, "apsuite_wireless." + generated + ".mode").string(), "ap");
	EXPECT_EQ(Lookup(dir, "apsuite_wireless.@wifi-iface[1]").ptr.s, nullptr) << "a second section";
}

// One context per lookup, as the daemons make them, through every outcome;
// the sanitizer build reports anything left behind.
TEST(UciContext, PerLookupContextsReleaseEverything)
{
	ConfigDir dir;
	dir.write("apsuite_good", statistics);
	dir.write("apsuite_bad", "config t s\n\toption v 'open\n");

	for (int i = 0; i < 20; i++) {
		for (const char *path : {"apsuite_good.airsift_ubus_telemetry.max_top_access_points",
					 "apsuite_good.airsift_ubus_telemetry.channels",
					 "apsuite_good.@statistics[-1].x", "apsuite_good.nothing.x",
					 "apsuite_bad.s.v", "apsuite_missing.s.v"}) {
			Lookup l(dir, path);
			EXPECT_EQ(l.rc == UCI_OK, strncmp(path, "apsuite_good", 12) == 0) << path;
		}
	}
}

} // namespace
