// vireltan-host export --all and --record: every record of an SD file on its own, driven as a
// single file is.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <unistd.h>

#include "support.h"

#ifdef VIRELTAN_HOST_TOOL
namespace
{
using namespace integration;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

const std::string THREE = DATA + "/rdkit/three_records.sdf";
// What a record that holds no atoms is refused with, as a pattern.
const std::string NO_ATOMS = "gave no atoms \\(an empty molecule, or a connection table the object does not read\\)";

// Address sanitizer and valgrind reserve far more address space than a memory limit leaves.
bool UnderMemoryChecker()
{
#if defined(__SANITIZE_ADDRESS__)
	return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
	return true;
#endif
#endif
	const char* preload = std::getenv("LD_PRELOAD");
	return preload && std::string(preload).find("vgpreload") != std::string::npos;
}

// The records of an SD file, each with its "$$$$" line.
std::vector<std::string> Records(const std::string& text)
{
	std::vector<std::string> records;
	size_t start = 0, end;
	while ((end = text.find("$$$$\n", start)) != std::string::npos)
	{
		records.push_back(text.substr(start, end + 5 - start));
		start = end + 5;
	}
	return records;
}

// The record with its counts line cut short: the object reads no atoms from it.
std::string Broken(const std::string& record)
{
	size_t line = 0;
	for (int i = 0; i < 3; ++i)
		line = record.find('\n', line) + 1;
	return record.substr(0, line) + "  1\n" + record.substr(record.find('\n', line) + 1);
}

TEST(Records, AllWritesEachRecordAsASingleFileExportWouldAndReportsFailuresInOrder)
{
	TempDir dir;
	const std::vector<std::string> three = Records(testfiles::ReadFile(THREE));
	ASSERT_EQ(three.size(), 3u);
	// Six real records; the second and the fifth broken, the fourth and sixth given names no file may take.
	std::string sixth = three[2];
	sixth.replace(0, sixth.find('\n'), "x/../../escape");
	std::string fourth = three[0];
	fourth.replace(0, fourth.find('\n'), "  ");
	dir.Write("six.sdf", three[0] + Broken(three[1]) + three[2] + fourth + Broken(three[1]) + sixth + "\n\n");

	Output all = Tool("export '" + dir.File("six.sdf") + "' --all -o '" + dir.File("out") + "'");
	EXPECT_EQ(all.status, 1);
	EXPECT_THAT(all.out, MatchesRegex("(.|\n)*vireltan-host: record 2 \\(glycine\\): the record " + NO_ATOMS + "\n"
									  "vireltan-host: record 5 \\(glycine\\): the record " + NO_ATOMS + "\n"
									  ".*/out/: 6 records, 4 written, 2 failed, 0 skipped, [0-9.]+ s\n"));
	EXPECT_THAT(all.out, ::testing::Not(HasSubstr("\r"))) << "a progress bar outside a terminal";
	std::vector<std::string> written;
	for (const auto& e : std::filesystem::directory_iterator(dir.File("out")))
		written.push_back(e.path().filename().string());
	std::sort(written.begin(), written.end());
	EXPECT_EQ(written, (std::vector<std::string>{"1-ethanol.glb", "3-chlorobenzene.glb", "4.glb", "6.glb"}));

	// Each file is the one a single export of that record writes.
	ASSERT_EQ(Tool("export '" + dir.File("six.sdf") + "' -o '" + dir.File("first.glb") + "'").status, 0);
	EXPECT_TRUE(testfiles::ReadFile(dir.File("first.glb")) == testfiles::ReadFile(dir.File("out/1-ethanol.glb"))) << "differs from out/1-ethanol.glb";
	Output third = Tool("export '" + dir.File("six.sdf") + "' --record 3 -o '" + dir.File("third.glb") + "'");
	ASSERT_EQ(third.status, 0) << third.out;
	// The line a plain export prints, then which record.
	EXPECT_THAT(third.out, MatchesRegex("(.|\n)*third.glb: 12 atoms, 12 bonds, [0-9]+ objects, [0-9]+ meshes, [0-9]+ triangles, "
										"[0-9]+ bytes, [0-9.]+ s; record 3 of 6\n"));
	EXPECT_TRUE(testfiles::ReadFile(dir.File("third.glb")) == testfiles::ReadFile(dir.File("out/3-chlorobenzene.glb"))) << "differs from out/3-chlorobenzene.glb";
	dir.Write("alone.sdf", three[2]);
	ASSERT_EQ(Tool("export '" + dir.File("alone.sdf") + "' -o '" + dir.File("alone.glb") + "'").status, 0);
	EXPECT_TRUE(testfiles::ReadFile(dir.File("alone.glb")) == testfiles::ReadFile(dir.File("out/3-chlorobenzene.glb"))) << "differs from out/3-chlorobenzene.glb";

	Output broken = Tool("export '" + dir.File("six.sdf") + "' --record 5 -o '" + dir.File("fifth.glb") + "'");
	EXPECT_EQ(broken.status, 1);
	EXPECT_THAT(broken.out, HasSubstr("vireltan-host: record 5 (glycine): the record gave no atoms (an empty molecule, or a "
									  "connection table the object does not read); nothing exported\n"));
	EXPECT_TRUE(testfiles::ReadFile(dir.File("fifth.glb")).empty());
}

TEST(Records, RecordNumbersOutsideTheFileAreUsageErrorsAndOneRecordIsNamed)
{
	Output past = Tool("export '" + THREE + "' --record 4");
	EXPECT_EQ(past.status, 2);
	EXPECT_THAT(past.out, HasSubstr("vireltan-host: --record 4: " + THREE + " holds 3 records\n"));
	EXPECT_EQ(Tool("export '" + THREE + "' --record 0").status, 2);
	EXPECT_EQ(Tool("export '" + THREE + "' --record 1 --all").status, 2);

	TempDir dir;
	Output first = Tool("export '" + THREE + "' -o '" + dir.File("e.glb") + "'");
	EXPECT_EQ(first.status, 0);
	EXPECT_THAT(first.out, MatchesRegex("(.|\n)*e.glb: 9 atoms, 8 bonds, .* s; the file holds more than one record, only the "
										"first was used \\(--all exports every one, --record N one\\)\n"));
	// The note reads no further than the start of the second record: past it lie 3 GiB of zeros
	// without a line end, which a reader of the whole file cannot hold within the 1.5 GB allowed.
	if (!UnderMemoryChecker())
	{
		dir.Write("huge.sdf", testfiles::ReadFile(THREE));
		ASSERT_EQ(truncate(dir.File("huge.sdf").c_str(), off_t(3) << 30), 0);
		Output huge = Shell("ulimit -v 1500000 && '" + TOOL + "' --plugins '" + PLUGINS + "' export '" + dir.File("huge.sdf") +
			"' -o '" + dir.File("h.glb") + "'", true);
		EXPECT_EQ(huge.status, 0) << huge.out;
		EXPECT_THAT(huge.out, HasSubstr("h.glb: 9 atoms, 8 bonds, "));
		EXPECT_THAT(huge.out, HasSubstr("; the file holds more than one record, only the first was used"));
		std::filesystem::remove(dir.File("huge.sdf"));
		std::filesystem::remove(dir.File("h.glb"));
	}
	dir.Copy(DATA + "/sdf/ring6.mol", "ring.mol");
	Output one = Tool("export '" + dir.File("ring.mol") + "' -o '" + dir.File("r.glb") + "'");
	EXPECT_EQ(one.status, 0);
	EXPECT_THAT(one.out, ::testing::Not(HasSubstr("records")));
	Output all = Tool("export '" + dir.File("ring.mol") + "' --all");
	EXPECT_EQ(all.status, 0);
	EXPECT_THAT(all.out, HasSubstr("/ring/: 1 records, 1 written, 0 failed, "));
	EXPECT_EQ(dir.Names(), (std::vector<std::string>{"e.glb", "r.glb", "ring", "ring.mol"}));

	// A first line with control bytes is named escaped, in --record and in --all alike.
	dir.Write("odd.sdf", Broken(Records(testfiles::ReadFile(THREE))[0]).replace(0, 7, "e\rth\x1b[2Jl"));
	Output odd = Tool("export '" + dir.File("odd.sdf") + "' --record 1 -o '" + dir.File("o.glb") + "'");
	EXPECT_EQ(odd.status, 1);
	EXPECT_THAT(odd.out, HasSubstr("vireltan-host: record 1 (e\\x0dth\\x1b[2Jl): the record gave no atoms"));
	Output oddAll = Tool("export '" + dir.File("odd.sdf") + "' --all -o '" + dir.File("o") + "'");
	EXPECT_EQ(oddAll.status, 1);
	EXPECT_THAT(oddAll.out, HasSubstr("vireltan-host: record 1 (e\\x0dth\\x1b[2Jl): the record gave no atoms"));
}
// The tool splits a file into records where the object's reader ends its first record: at a line
// that starts with "$$$$", whatever follows it, and nowhere else.
TEST(Records, TheToolEndsARecordWhereTheReaderDoes)
{
	// The first record announces four atoms and holds two; the second's name line reads as an atom
	// line, so a reader that ran past the separator would take a third atom from it.
	const std::string first = "first\n  by hand\n\n  4  0  0  0  0  0  0  0  0  0999 V2000\n"
							  "    0.0000    0.0000    0.0000 C   0  0\n    1.4000    0.0000    0.0000 O   0  0\n";
	const std::string second = "    3.0000    0.0000    0.0000 N   0  0\n\n\n  1  0  0  0  0  0  0  0  0  0999 V2000\n"
							   "    0.0000    0.0000    0.0000 N   0  0\nM  END\n$$$$\n";
	const std::pair<std::string, int> lines[] = {{"$$$$ trailing text", 2}, {"$$$$\t", 2}, {" $$$$", 1}, {"$$$", 1}};
	TempDir dir;
	for (const auto& [line, records] : lines)
	{
		dir.Write("two.sdf", first + line + "\n" + second);
		// What the object reads of the whole file: its first record.
		const Output whole = Tool("export '" + dir.File("two.sdf") + "' -o '" + dir.File("whole.glb") + "'");
		ASSERT_EQ(whole.status, 0) << line << "\n" << whole.out;
		EXPECT_THAT(whole.out, HasSubstr(records == 2 ? ": 2 atoms, " : ": 3 atoms, ")) << line;
		EXPECT_EQ(whole.out.find("more than one record") != std::string::npos, records == 2) << line << "\n" << whole.out;
		// The tool's first record is what the object read of the whole file.
		const Output one = Tool("export '" + dir.File("two.sdf") + "' --record 1 -o '" + dir.File("one.glb") + "'");
		ASSERT_EQ(one.status, 0) << line << "\n" << one.out;
		EXPECT_TRUE(testfiles::ReadFile(dir.File("one.glb")) == testfiles::ReadFile(dir.File("whole.glb"))) << line;
		const Output all = Tool("export '" + dir.File("two.sdf") + "' --all -o '" + dir.File("all") + "'");
		const std::string count = std::to_string(records);
		EXPECT_THAT(all.out, HasSubstr(": " + count + " records, " + count + " written, 0 failed")) << line;
	}
}
} // namespace
#endif
