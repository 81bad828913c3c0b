// Filename parts, suffixes, joins, and GeFExist on files, folders and missing paths.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "c4d.h"
#include "testfiles.h"
#include "vh/host.h"

namespace
{
std::string Str(const Filename& f) { return vh::ToUtf8(f.GetString()); }
std::string Str(const String& s) { return vh::ToUtf8(s); }
} // namespace

TEST(CoreFilenameParts, DirectoryAndFile)
{
	Filename f("/data/mol/caffeine.pdb");
	EXPECT_EQ(Str(f.GetDirectory()), "/data/mol");
	EXPECT_EQ(Str(f.GetFile()), "caffeine.pdb");
	EXPECT_EQ(Str(f.GetFileString()), "caffeine.pdb");

	EXPECT_EQ(Str(Filename("caffeine.pdb").GetDirectory()), "");
	EXPECT_EQ(Str(Filename("caffeine.pdb").GetFile()), "caffeine.pdb");
	EXPECT_EQ(Str(Filename("/caffeine.pdb").GetDirectory()), "/") << "the root keeps its slash";
	EXPECT_EQ(Str(Filename("dir/").GetFile()), "");
	EXPECT_EQ(Str(Filename("dir/").GetDirectory()), "dir");

	Filename g = f;
	g.SetFile(Filename("water.mol"));
	EXPECT_EQ(Str(g), "/data/mol/water.mol");
	g.SetDirectory(Filename("/tmp/"));
	EXPECT_EQ(Str(g), "/tmp/water.mol");
	Filename bare("x.pdb");
	bare.SetFile(Filename("y.pdb"));
	EXPECT_EQ(Str(bare), "y.pdb");
	Filename root("/x.pdb");
	root.SetFile(root.GetFile());
	EXPECT_EQ(Str(root), "/x.pdb");
}

TEST(CoreFilenameParts, Suffixes)
{
	EXPECT_EQ(Str(Filename("/a/b/c.tar.gz").GetSuffix()), "gz");
	EXPECT_EQ(Str(Filename("/a.b/c").GetSuffix()), "") << "a dot in the directory is not a suffix";
	EXPECT_EQ(Str(Filename("/home/.bashrc").GetSuffix()), "");
	EXPECT_EQ(Str(Filename(".bashrc.bak").GetSuffix()), "bak");
	EXPECT_EQ(Str(Filename("name.").GetSuffix()), "");
	EXPECT_EQ(Str(Filename("").GetSuffix()), "");

	Filename f("/m/benzene.PDB");
	EXPECT_TRUE(f.CheckSuffix("pdb"_s));
	EXPECT_TRUE(f.CheckSuffix("PdB"_s));
	EXPECT_FALSE(f.CheckSuffix("pd"_s));
	EXPECT_FALSE(Filename("/m/.pdb").CheckSuffix("pdb"_s));

	f.SetSuffix("glb"_s);
	EXPECT_EQ(Str(f), "/m/benzene.glb");
	Filename noSuffix("/m.d/benzene");
	noSuffix.SetSuffix("glb"_s);
	EXPECT_EQ(Str(noSuffix), "/m.d/benzene.glb");
	Filename hidden("/m/.cfg");
	hidden.SetSuffix("txt"_s);
	EXPECT_EQ(Str(hidden), "/m/.cfg.txt");

	Filename multi("/m.d/c.tar.gz");
	multi.ClearSuffix();
	EXPECT_EQ(Str(multi), "/m.d/c.tar");
	multi = Filename("/m.d/c.tar.gz");
	multi.ClearSuffixComplete();
	EXPECT_EQ(Str(multi), "/m.d/c");
	Filename dotted("/m/.hidden");
	dotted.ClearSuffixComplete();
	EXPECT_EQ(Str(dotted), "/m/.hidden");
}

TEST(CoreFilenameParts, JoinUsesExactlyOneSlash)
{
	EXPECT_EQ(Str(Filename("/a") + Filename("b")), "/a/b");
	EXPECT_EQ(Str(Filename("/a/") + Filename("b")), "/a/b");
	EXPECT_EQ(Str(Filename("/a//") + Filename("//b")), "/a/b");
	EXPECT_EQ(Str(Filename("/") + Filename("b")), "/b");
	EXPECT_EQ(Str(Filename("") + Filename("b")), "b");
	EXPECT_EQ(Str(Filename("/a") + Filename("")), "/a");
	Filename f("res");
	f += Filename("strings_en-US");
	f += Filename("c4d_strings.str");
	EXPECT_EQ(Str(f), "res/strings_en-US/c4d_strings.str");
	EXPECT_TRUE(Filename("x/y") == Filename("x") + Filename("y"));
}

TEST(CoreFilenameExist, FileFolderAndMissing)
{
	testfiles::TempDir scratch;
	const std::string dir = scratch.Path();
	std::string file = dir + "/atoms \xC3\xA9.pdb";
	FILE* f = std::fopen(file.c_str(), "w");
	ASSERT_NE(f, nullptr);
	std::fclose(f);
	std::string link = dir + "/link.pdb";
	ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);

	Filename folder(vh::FromUtf8(dir));
	Filename regular = vh::FromUtf8(file);
	EXPECT_TRUE(GeFExist(regular));
	EXPECT_FALSE(GeFExist(regular, true));
	EXPECT_TRUE(GeFExist(folder, true));
	EXPECT_FALSE(GeFExist(folder)) << "a folder is not a file";
	EXPECT_TRUE(GeFExist(vh::FromUtf8(link))) << "a symlink to a file counts as the file";
	EXPECT_FALSE(GeFExist(folder + Filename("missing.pdb")));
	EXPECT_FALSE(GeFExist(folder + Filename("missing"), true));
	EXPECT_FALSE(GeFExist(Filename()));
	EXPECT_FALSE(GeFExist(Filename(), true));
}
