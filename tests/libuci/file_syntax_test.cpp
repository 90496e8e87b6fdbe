// How package files are read: quoting, escapes, statements, lists, and
// files that are malformed or not files at all.
#include <gtest/gtest.h>

#include <string.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "config_dir.h"

using namespace std::string_literals;

namespace {

struct ValueCase {
	const char *line;	// after "config t s\n"
	std::string expected;
};

TEST(UciFileSyntax, QuotingAndEscapes)
{
	const ValueCase cases[] = {
		{"option v plain", "plain"},
		{"option v 'single quoted'", "single quoted"},
		{"option v \"double quoted\"", "double quoted"},
		{"option v 'back\\slash \"kept\"'", "back\\slash \"kept\""},
		{"option v \"say \\\"hi\\\" \\\\ \\n\"", "say \"hi\" \\ n"},
		{"option v bare\\ word\\'s", "bare word's"},
		{"option v 'a'\"b\"c", "abc"},
		{"option v '#kept' # comment", "#kept"},
		{"option v value#comment", "value"},
		{"option v ''", ""},
		{"option v", ""},
		{"option v 'two\nlines'", "two\nlines"},
		{"option v \"joined \\\nline\"", "joined line"},
		{"option v split\\\nword", "splitword"},
		{"option \\\n v 'after a joined line'", "after a joined line"},
		{"\toption\tv\t'tabs'  ", "tabs"},
		{"option v crlf\r", "crlf"},
		{"option v 'caf\xc3\xa9'", "caf\xc3\xa9"},
		{"option v first; option v second", "second"},
		{"o v short", "short"},
	};
	for (const ValueCase &c : cases) {
		ConfigDir dir;
		dir.write("t", "config t s\n"s + c.line + "\n");
		Lookup l(dir, "t.s.v");
		EXPECT_EQ(l.rc, UCI_OK) << c.line << ": " << l.error();
		EXPECT_EQ(l.string(), c.expected) << c.line;
	}
}

TEST(UciFileSyntax, StatementsAndSections)
{
	ConfigDir dir;
	dir.write("net",
		  "# leading comment\n"
		  "package net\n"
		  "\n"
		  "config iface 'lan'\n"
		  "\toption proto static   # trailing comment\n"
		  "config iface wan\n"
		  "\toption proto dhcp\n"
		  "config iface 'lan'\n"
		  "\toption mtu 1500\n"
		  "\toption proto dhcpv6\n"
		  "config rule\n"
		  "\toption name one\n"
		  "config rule ''\n"
		  "\toption name two\n");

	// a second block of the same name adds to the first, later values win
	Lookup mtu(dir, "net.lan.mtu");
	EXPECT_EQ(mtu.string(), "1500");
	Lookup proto(dir, "net.lan.proto");
	EXPECT_EQ(proto.string(), "dhcpv6");
	Lookup wan(dir, "net.wan.proto");
	EXPECT_EQ(wan.string(), "dhcp");

	// anonymous sections (no name or an empty one) get distinct names
	// under which they can be found again
	Lookup first(dir, "net.@rule[0].name");
	Lookup second(dir, "net.@rule[1].name");
	ASSERT_EQ(first.string(), "one");
	ASSERT_EQ(second.string(), "two");
	EXPECT_TRUE(first.ptr.s->anonymous);
	EXPECT_FALSE(wan.ptr.s->anonymous);
	EXPECT_STRNE(first.ptr.section, second.ptr.section);
	Lookup by_name(dir, "net."s + first.ptr.section + ".name");
	EXPECT_EQ(by_name.string(), "one");
}

TEST(UciFileSyntax, Lists)
{
	ConfigDir dir;
	dir.write("fw",
		  "config zone z\n"
		  "\tlist network 'lan'\n"
		  "\tlist network \"guest net\"\n"
		  "\tlist network iot\n"
		  "\toption name zone\n"
		  "\tlist name extra\n"
		  "\tlist ports 1\n"
		  "\toption ports 2\n");

	Lookup network(dir, "fw.z.network");
	ASSERT_EQ(network.rc, UCI_OK);
	ASSERT_NE(network.ptr.o, nullptr);
	EXPECT_EQ(network.ptr.o->type, UCI_TYPE_LIST);
	EXPECT_EQ(network.list(), (std::vector<std::string>{"lan", "guest net", "iot"}));

	// a list entry after an option keeps the option's value first
	Lookup name(dir, "fw.z.name");
	EXPECT_EQ(name.list(), (std::vector<std::string>{"zone", "extra"}));

	// an option after a list replaces it
	Lookup ports(dir, "fw.z.ports");
	EXPECT_EQ(ports.string(), "2");
}

TEST(UciFileSyntax, MalformedFilesFailToParse)
{
	const std::string cases[] = {
		"config t s\noption v 'open\n\n",
		"config t s\noption v \"open\n",
		"config t s\noption v \"ends in a backslash\\",
		"option v before_any_section\n",
		"config t s\noption v one two\n",
		"config t s\nlist v\n",
		"config t 'bad name'\n",
		"config\n",
		"config t s\nfrobnicate v x\n",
		"config t s\noption bad-name x\n",
		"config t s\noption v 'a\0b'\n"s,
		"config a s\nconfig b s\n",
	};
	for (const std::string &text : cases) {
		ConfigDir dir;
		dir.write("t", text);
		Lookup l(dir, "t.s.v");
		EXPECT_EQ(l.rc, UCI_ERR_PARSE) << text;
		EXPECT_EQ(l.ptr.p, nullptr) << text;
	}

	ConfigDir dir;
	dir.write("t", "config t s\n\toption v ok\n\toption v 'not closed\n");
	Lookup l(dir, "t.s.v");
	EXPECT_EQ(l.error(), "lookup: uci_lookup_ptr: Parse error (unterminated ') at line 3, byte 10");
}

TEST(UciFileSyntax, LargeAndHostileInput)
{
	ConfigDir dir;
	const std::string big(1 << 20, 'x');

	dir.write("t", "config t s\noption v '" + big + "'\noption w " + big + "\n");
	Lookup quoted(dir, "t.s.v");
	Lookup bare(dir, "t.s.w");
	EXPECT_EQ(quoted.string(), big);
	EXPECT_EQ(bare.string(), big);

	dir.write("open", "config t s\noption v '" + big);
	EXPECT_EQ(Lookup(dir, "open.s.v").rc, UCI_ERR_PARSE);

	dir.write("huge", "config t s\n" + std::string(5 << 20, '#'));
	EXPECT_EQ(Lookup(dir, "huge.s.v").rc, UCI_ERR_PARSE);
}

// Identical anonymous sections share their content hash, and every 256th
// one its place too; each still gets a name of its own. 16,384 of them
// (a 64 KiB file) once took seconds to name.
TEST(UciFileSyntax, ManyIdenticalAnonymousSectionsGetDistinctNames)
{
	ConfigDir dir;
	std::string text;
	const int count = 16384;

	for (int i = 0; i < count; i++)
		text += "config t\n";
	dir.write("anon", text);

	Lookup first(dir, "anon.@t[0]");
	ASSERT_EQ(first.rc, UCI_OK) << first.error();
	std::set<std::string> names;
	struct uci_element *e;
	uci_foreach_element(&first.ptr.p->sections, e)
		names.insert(e->name);
	EXPECT_EQ(names.size(), (size_t) count);
	Lookup last(dir, "anon.@t[-1]");
	EXPECT_STRNE(last.ptr.section, first.ptr.section);
}

// An anonymous section moves on past a name that a named section took.
TEST(UciFileSyntax, AnonymousNamesAvoidNamedSections)
{
	ConfigDir dir;
	dir.write("plain", "config other x\nconfig t\n\toption v 1\n");
	Lookup plain(dir, "plain.@t[0]");
	ASSERT_EQ(plain.rc, UCI_OK) << plain.error();
	const std::string taken = plain.ptr.section;

	dir.write("clash", "config t " + taken + "\n\toption v named\nconfig t\n\toption v 1\n");
	Lookup anonymous(dir, "clash.@t[1].v");
	ASSERT_EQ(anonymous.string(), "1");
	EXPECT_NE(anonymous.ptr.section, taken);
	EXPECT_EQ(Lookup(dir, "clash." + taken + ".v").string(), "named");
}

TEST(UciFileSyntax, OnlyRegularFilesAreRead)
{
	ConfigDir dir;
	std::filesystem::create_directory(dir.path() + "/dir"s);
	// a FIFO would block an ordinary open() until a writer came
	ASSERT_EQ(mkfifo((dir.path() + "/fifo"s).c_str(), 0600), 0);

	EXPECT_EQ(Lookup(dir, "dir.s.v").rc, UCI_ERR_IO);
	EXPECT_EQ(Lookup(dir, "fifo.s.v").rc, UCI_ERR_IO);
}

} // namespace
