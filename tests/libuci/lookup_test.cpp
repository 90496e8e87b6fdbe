// What uci_lookup_ptr reports for "package.section.option" paths, as the
// telemetry daemons use it, and how contexts own what they load.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include "config_dir.h"

extern "C" {
int lookup_from_c(const char *confdir, char *path, char *value, size_t size);
int count_sections_from_c(const char *confdir, const char *package);
}

namespace {

const char statistics[] =
	"config statistics 'airsift_ubus_telemetry'\n"
	"\toption max_top_access_points '7'\n"
	"\tlist channels 1\n"
	"\tlist channels 6\n"
	"config statistics 'linetap_ubus_telemetry'\n"
	"\toption min_severity 3\n";

const int complete = uci_ptr::UCI_LOOKUP_DONE | uci_ptr::UCI_LOOKUP_COMPLETE;

class UciLookupTest : public ::testing::Test {
protected:
	void SetUp() override { dir.write("luci_statistics", statistics); }
	ConfigDir dir;
};

TEST_F(UciLookupTest, OptionSectionAndPackageResults)
{
	Lookup found(dir, "luci_statistics.airsift_ubus_telemetry.max_top_access_points");
	ASSERT_EQ(found.rc, UCI_OK);
	ASSERT_NE(found.ptr.o, nullptr);
	EXPECT_EQ(found.ptr.flags & complete, complete);
	EXPECT_EQ(found.ptr.target, UCI_TYPE_OPTION);
	EXPECT_EQ(found.ptr.o->type, UCI_TYPE_STRING);
	EXPECT_STREQ(found.ptr.o->v.string, "7");
	EXPECT_STREQ(found.ptr.o->e.name, "max_top_access_points");
	EXPECT_EQ(found.ptr.o->section, found.ptr.s);
	EXPECT_EQ(found.ptr.s->package, found.ptr.p);
	EXPECT_STREQ(found.ptr.s->type, "statistics");
	EXPECT_EQ(found.ptr.last, &found.ptr.o->e);

	Lookup list(dir, "luci_statistics.airsift_ubus_telemetry.channels");
	ASSERT_NE(list.ptr.o, nullptr);
	EXPECT_EQ(list.ptr.o->type, UCI_TYPE_LIST);

	Lookup no_option(dir, "luci_statistics.linetap_ubus_telemetry.max_top_access_points");
	EXPECT_EQ(no_option.rc, UCI_OK);
	EXPECT_NE(no_option.ptr.s, nullptr);
	EXPECT_EQ(no_option.ptr.o, nullptr);
	EXPECT_EQ(no_option.ptr.flags & complete, uci_ptr::UCI_LOOKUP_DONE);
	EXPECT_EQ(no_option.ptr.last, &no_option.ptr.s->e);

	Lookup no_section(dir, "luci_statistics.absent_ubus_telemetry.min_severity");
	EXPECT_EQ(no_section.rc, UCI_OK);
	EXPECT_NE(no_section.ptr.p, nullptr);
	EXPECT_EQ(no_section.ptr.s, nullptr);
	EXPECT_EQ(no_section.ptr.o, nullptr);
	EXPECT_EQ(no_section.ptr.flags & complete, uci_ptr::UCI_LOOKUP_DONE);

	Lookup no_package(dir, "vornel_cur_wireless.wlan0.wifi_iface");
	EXPECT_EQ(no_package.rc, UCI_ERR_NOTFOUND);
	EXPECT_EQ(no_package.ptr.s, nullptr);
	EXPECT_EQ(no_package.error(), "lookup: uci_lookup_ptr: Entry not found");

	Lookup section(dir, "luci_statistics.linetap_ubus_telemetry");
	EXPECT_EQ(section.ptr.target, UCI_TYPE_SECTION);
	EXPECT_EQ(section.ptr.flags & complete, complete);
	Lookup package(dir, "luci_statistics");
	EXPECT_EQ(package.ptr.target, UCI_TYPE_PACKAGE);
	EXPECT_EQ(package.ptr.flags & complete, complete);
}

TEST_F(UciLookupTest, PathIsSplitInTheCallersBuffer)
{
	Lookup l(dir, "luci_statistics.linetap_ubus_telemetry.min_severity=9");
	ASSERT_EQ(l.rc, UCI_OK);
	EXPECT_EQ(0, memcmp(l.path, "luci_statistics\0linetap_ubus_telemetry\0min_severity\0009", 54));
	EXPECT_EQ(l.ptr.package, l.path);
	EXPECT_EQ(l.ptr.section, l.path + 16);
	EXPECT_EQ(l.ptr.option, l.path + 39);
	EXPECT_EQ(l.ptr.value, l.path + 52);
	EXPECT_STREQ(l.ptr.o->v.string, "3");
}

TEST_F(UciLookupTest, MalformedPaths)
{
	EXPECT_EQ(Lookup(dir, "luci_statistics.a.b.c").rc, UCI_ERR_PARSE);
	EXPECT_EQ(Lookup(dir, "luci_statistics.airsift_ubus_telemetry.").rc, UCI_ERR_PARSE);
	EXPECT_EQ(Lookup(dir, "").rc, UCI_ERR_PARSE);
	EXPECT_EQ(Lookup(dir, "../luci_statistics.a.b").rc, UCI_ERR_PARSE);
	// neither a name nor "@type[index]"
	EXPECT_EQ(Lookup(dir, "luci_statistics..min_severity").rc, UCI_ERR_INVAL);
	EXPECT_EQ(Lookup(dir, "luci_statistics.wlan-0.wifi_iface").rc, UCI_ERR_INVAL);
}

// The daemons format the path into 128 bytes; a longer one is cut and
// then simply names nothing.
TEST_F(UciLookupTest, PathCutAt127Characters)
{
	const std::string in_section(150, 's');
	const std::string in_option(100, 'o');
	dir.write("luci_statistics", std::string(statistics) +
		  "config statistics " + in_section + "\n\toption min_severity 1\n" +
		  "config statistics " + in_option + "\n\toption max_top_access_points 2\n");

	char path[128];
	snprintf(path, sizeof(path), "%s.%s.%s", "luci_statistics", in_section.c_str(), "min_severity");
	ASSERT_EQ(strlen(path), 127u);
	Lookup cut_section(dir, path);
	EXPECT_EQ(cut_section.rc, UCI_OK);
	EXPECT_EQ(cut_section.ptr.s, nullptr);

	snprintf(path, sizeof(path), "%s.%s.%s", "luci_statistics", in_option.c_str(), "max_top_access_points");
	Lookup cut_option(dir, path);
	EXPECT_EQ(cut_option.rc, UCI_OK);
	ASSERT_NE(cut_option.ptr.s, nullptr);
	EXPECT_STREQ(cut_option.ptr.option, "max_top_ac");
	EXPECT_EQ(cut_option.ptr.o, nullptr);
}

class UciPositionTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		dir.write("wireless",
			  "config wifi-device radio0\n"
			  "config wifi-iface\n\toption ssid first\n"
			  "config wifi-iface\n\toption ssid second\n"
			  "config wifi-device radio1\n"
			  "config wifi-iface\n\toption ssid third\n");
	}
	std::string ssid(const char *section)
	{
		Lookup l(dir, std::string("wireless.") + section + ".ssid");
		return l.rc == UCI_OK ? l.string() : "rc " + std::to_string(l.rc);
	}
	ConfigDir dir;
};

TEST_F(UciPositionTest, SelectsByTypeAndIndex)
{
	EXPECT_EQ(ssid("@wifi-iface[0]"), "first");
	EXPECT_EQ(ssid("@wifi-iface[2]"), "third");
	EXPECT_EQ(ssid("@wifi-iface[-1]"), "third");
	EXPECT_EQ(ssid("@wifi-iface[-3]"), "first");
	EXPECT_EQ(ssid("@[1]"), "first");	// any type

	Lookup device(dir, "wireless.@wifi-device[1]");
	ASSERT_NE(device.ptr.s, nullptr);
	EXPECT_STREQ(device.ptr.section, "radio1");

	// resolved to the generated name of the section
	Lookup iface(dir, "wireless.@wifi-iface[1].ssid");
	ASSERT_NE(iface.ptr.s, nullptr);
	EXPECT_STREQ(iface.ptr.section, iface.ptr.s->e.name);
	EXPECT_EQ(ssid(iface.ptr.s->e.name), "second");
}

TEST_F(UciPositionTest, OutOfRangeIsNotFoundAndBadFormsAreInvalid)
{
	for (const char *section : {"@wifi-iface[3]", "@wifi-iface[-4]", "@ap[0]",
				    "@wifi-iface[99999999999999999999]"}) {
		Lookup l(dir, std::string("wireless.") + section + ".ssid");
		EXPECT_EQ(l.rc, UCI_OK) << section;
		EXPECT_EQ(l.ptr.s, nullptr) << section;
	}
	for (const char *section : {"@wifi-iface", "@wifi-iface[x]", "@wifi-iface[0]x", "@wifi-iface[0"})
		EXPECT_EQ(ssid(section), "rc 2") << section;

	Lookup plain(dir, "wireless.@wifi-iface[0].ssid", false);
	EXPECT_EQ(plain.rc, UCI_ERR_INVAL);
}

TEST(UciContext, OwnsLoadedPackagesUntilFreed)
{
	ConfigDir dir;
	struct uci_context *ctx = uci_alloc_context();
	struct uci_package *p = nullptr;
	struct uci_ptr first, second;
	char path1[] = "net.lan.mtu", path2[] = "net.lan.mtu";

	ASSERT_NE(ctx, nullptr);
	EXPECT_STREQ(ctx->confdir, "/etc/config");
	EXPECT_EQ(uci_set_confdir(ctx, nullptr), UCI_ERR_INVAL);
	ASSERT_EQ(uci_set_confdir(ctx, dir.path()), UCI_OK);

	// loaded once per context: later lookups see what was read first
	dir.write("net", "config iface lan\n\toption mtu 1500\n");
	memset(&first, 0, sizeof(first));
	memset(&second, 0, sizeof(second));
	ASSERT_EQ(uci_lookup_ptr(ctx, &first, path1, true), UCI_OK);
	dir.write("net", "config iface lan\n\toption mtu 9000\n");
	ASSERT_EQ(uci_lookup_ptr(ctx, &second, path2, true), UCI_OK);
	EXPECT_EQ(first.p, second.p);
	EXPECT_STREQ(second.o->v.string, "1500");
	EXPECT_EQ(uci_load(ctx, "net", &p), UCI_ERR_DUPLICATE);

	ASSERT_EQ(uci_unload(ctx, first.p), UCI_OK);
	ASSERT_EQ(uci_load(ctx, "net", &p), UCI_OK);
	EXPECT_STREQ(uci_lookup_option_string(ctx, uci_lookup_section(ctx, p, "lan"), "mtu"), "9000");
	EXPECT_EQ(uci_lookup_section(ctx, p, "wan"), nullptr);
	uci_free_context(ctx);
}

// One context per lookup, as the daemons do, through every outcome;
// the sanitizer build reports anything left behind.
TEST(UciContext, PerLookupContextsReleaseEverything)
{
	ConfigDir dir;
	dir.write("good", statistics);
	dir.write("bad", "config t s\n\toption v 'open\n");

	for (int i = 0; i < 50; i++) {
		for (const char *path : {"good.airsift_ubus_telemetry.max_top_access_points",
					 "good.airsift_ubus_telemetry.channels", "good.@statistics[-1].x",
					 "good.nothing.x", "bad.s.v", "missing.s.v"}) {
			Lookup l(dir, path);
			EXPECT_EQ(l.rc == UCI_OK, path[0] == 'g') << path;
		}
	}
}

TEST(UciContext, HeaderWorksFromC)
{
	ConfigDir dir;
	dir.write("wireless", "config wifi-iface wlan0\n\toption wifi_iface 'phy0-ap0'\nconfig wifi-iface\n");
	char path[] = "wireless.wlan0.wifi_iface", missing[] = "wireless.wlan1.wifi_iface";
	char value[32] = "";

	EXPECT_EQ(lookup_from_c(dir.path(), path, value, sizeof(value)), UCI_OK);
	EXPECT_STREQ(value, "phy0-ap0");
	EXPECT_EQ(lookup_from_c(dir.path(), missing, value, sizeof(value)), -1);
	EXPECT_EQ(count_sections_from_c(dir.path(), "wireless"), 2);
}

} // namespace
