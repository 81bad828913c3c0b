// HyperFile: byte framing, round trips, atomic saves, and reading damaged or hostile input.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <dirent.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "c4d.h"
#include "testfiles.h"
#include "vh/host.h"
#include "vh/hyperfile.h"

using testfiles::ReadFile;
using testfiles::WriteFile;

namespace
{
using Bytes = std::vector<unsigned char>;

// Owns a memory stream for the test's scope.
struct MemoryStream
{
	HyperFile* hf;
	MemoryStream(Bytes* buf, Bool write, BaseDocument* doc = nullptr) : hf(vh::OpenMemoryHyperFile(buf, write, doc)) {}
	~MemoryStream() { HyperFile::Free(hf); }
	HyperFile* operator->() const { return hf; }
};

void PutI32(Bytes& b, Int32 v)
{
	for (int i = 0; i < 4; ++i)
		b.push_back(static_cast<unsigned char>(UInt32(v) >> (8 * i)));
}

BaseContainer SampleContainer(BaseList2D* link)
{
	BaseContainer sub(5);
	sub.SetString(1, "H\xE2\x82\x82O"_s);
	sub.SetFloat(2, -0.125);
	BaseContainer bc(1060013);
	bc.SetInt32(10, -7);
	bc.SetInt64(11, 1LL << 40);
	bc.SetFloat(12, 3.25);
	bc.SetBool(13, true);
	bc.SetVector(14, Vector(1, -2, 3.5));
	bc.SetString(15, "caf\xC3\xA9"_s);
	bc.SetString(16, ""_s);
	bc.SetFilename(17, Filename("/m/benzene.pdb"));
	bc.SetContainer(18, sub);
	bc.SetData(19, GeData());
	bc.SetData(20, GeData(link));
	return bc;
}

// The value sequence the robustness tests cut and corrupt.
Bytes SampleStream(BaseList2D* link)
{
	Bytes buf;
	MemoryStream w(&buf, true);
	EXPECT_TRUE(w->WriteInt32(42));
	EXPECT_TRUE(w->WriteString("Koffein"_s));
	EXPECT_TRUE(w->WriteContainer(SampleContainer(link)));
	EXPECT_TRUE(w->WriteVector(Vector(1, 2, 3)));
	EXPECT_TRUE(w->WriteGeData(GeData("tail")));
	return buf;
}

// Reads the sample sequence back; false at the first failing read.
Bool ReadSample(HyperFile* hf)
{
	Int32 i;
	String s;
	BaseContainer bc;
	Vector v;
	GeData d;
	return hf->ReadInt32(&i) && hf->ReadString(&s) && hf->ReadContainer(&bc, true) && hf->ReadVector(&v) && hf->ReadGeData(&d);
}

class CoreHyperFileDisk : public ::testing::Test
{
protected:
	void SetUp() override
	{
		vh::SetEcho(false);
		vh::ClearConsoleAndDialogs();
	}
	void TearDown() override
	{
		vh::ClearConsoleAndDialogs();
		vh::SetEcho(true);
	}
	std::vector<std::string> Entries() const { return scratch.Names(); }
	testfiles::TempDir scratch;
	const std::string dir = scratch.Path();
};
} // namespace

TEST(CoreHyperFileFraming, TaggedLittleEndianValues)
{
	Bytes buf;
	{
		MemoryStream w(&buf, true);
		ASSERT_NE(w.hf, nullptr);
		EXPECT_TRUE(w->WriteInt32(0x01020304));
		EXPECT_TRUE(w->WriteBool(true));
		EXPECT_TRUE(w->WriteString("\xC3\xA9"_s));
		EXPECT_TRUE(w->WriteFloat(1.0));
	}
	const Bytes expected = {
		1, 0x04, 0x03, 0x02, 0x01, // Int32
		4, 1, // Bool
		6, 2, 0, 0, 0, 0xC3, 0xA9, // String: byte length, UTF-8
		3, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F // Float: IEEE double
	};
	EXPECT_EQ(buf, expected);
}

TEST(CoreHyperFileRoundTrip, EveryValueType)
{
	BaseObject* op = BaseObject::Alloc(Onull);
	ASSERT_NE(op, nullptr);
	BaseContainer bc = SampleContainer(op);
	Bytes buf;
	{
		MemoryStream w(&buf, true);
		EXPECT_TRUE(w->WriteInt32(-2147483647 - 1));
		EXPECT_TRUE(w->WriteInt64(-1234567890123LL));
		EXPECT_TRUE(w->WriteFloat(-0.0));
		EXPECT_TRUE(w->WriteFloat(NAN));
		EXPECT_TRUE(w->WriteBool(false));
		EXPECT_TRUE(w->WriteVector(Vector(0.1, 1e300, -5)));
		EXPECT_TRUE(w->WriteString("\xF0\x9F\xA7\xAA tube"_s));
		EXPECT_TRUE(w->WriteString(String()));
		EXPECT_TRUE(w->WriteFilename(Filename("/a b/c.glb")));
		EXPECT_TRUE(w->WriteContainer(bc));
		EXPECT_TRUE(w->WriteGeData(GeData(Int32(9))));
		EXPECT_TRUE(w->WriteGeData(GeData(bc)));
		EXPECT_TRUE(w->WriteGeData(GeData()));
		EXPECT_TRUE(w->Close());
		EXPECT_FALSE(w->WriteInt32(1)) << "closed";
	}
	MemoryStream r(&buf, false);
	Int32 i32 = 0;
	Int64 i64 = 0;
	Float f = 1, n = 0;
	Bool b = true;
	Vector v;
	String s, e("x");
	Filename fn;
	BaseContainer rc;
	GeData g1, g2, g3(Int32(1));
	EXPECT_TRUE(r->ReadInt32(&i32));
	EXPECT_EQ(i32, -2147483647 - 1);
	EXPECT_TRUE(r->ReadInt64(&i64));
	EXPECT_EQ(i64, -1234567890123LL);
	EXPECT_TRUE(r->ReadFloat(&f));
	EXPECT_TRUE(f == 0.0 && std::signbit(f));
	EXPECT_TRUE(r->ReadFloat(&n));
	EXPECT_TRUE(std::isnan(n));
	EXPECT_TRUE(r->ReadBool(&b));
	EXPECT_FALSE(b);
	EXPECT_TRUE(r->ReadVector(&v));
	EXPECT_EQ(v, Vector(0.1, 1e300, -5));
	EXPECT_TRUE(r->ReadString(&s));
	EXPECT_TRUE(s == "\xF0\x9F\xA7\xAA tube");
	EXPECT_TRUE(r->ReadString(&e));
	EXPECT_TRUE(e.IsEmpty());
	EXPECT_TRUE(r->ReadFilename(&fn));
	EXPECT_TRUE(fn == Filename("/a b/c.glb"));
	EXPECT_TRUE(r->ReadContainer(&rc, true));
	EXPECT_TRUE(rc == bc);
	EXPECT_EQ(rc.GetId(), 1060013);
	EXPECT_EQ(rc.GetContainerInstance(18)->GetId(), 5);
	EXPECT_EQ(rc.GetIndexId(0), 10) << "entry order survives";
	EXPECT_EQ(rc.GetLink(20, nullptr), op);
	EXPECT_TRUE(r->ReadGeData(&g1));
	EXPECT_TRUE(g1 == GeData(Int32(9)));
	EXPECT_TRUE(r->ReadGeData(&g2));
	EXPECT_TRUE(g2 == GeData(bc));
	EXPECT_TRUE(r->ReadGeData(&g3));
	EXPECT_EQ(g3.GetType(), DA_NIL);
	EXPECT_FALSE(r->ReadInt32(&i32)) << "end of data";
	BaseObject::Free(op);
}

TEST(CoreHyperFileRoundTrip, ReadContainerMergesWithoutFlush)
{
	Bytes buf;
	BaseContainer part(3);
	part.SetInt32(1, 100);
	{
		MemoryStream w(&buf, true);
		EXPECT_TRUE(w->WriteContainer(part));
		EXPECT_TRUE(w->WriteContainer(part));
	}
	MemoryStream r(&buf, false);
	BaseContainer target;
	target.SetInt32(1, 1);
	target.SetInt32(2, 2);
	EXPECT_TRUE(r->ReadContainer(&target, false));
	EXPECT_EQ(target.GetCount(), 2);
	EXPECT_EQ(target.GetInt32(1), 100);
	EXPECT_EQ(target.GetInt32(2), 2);
	EXPECT_TRUE(r->ReadContainer(&target, true));
	EXPECT_EQ(target.GetCount(), 1);
}

TEST(CoreHyperFileRoundTrip, LargeContainerWithinTheReadBudget)
{
	BaseContainer big;
	// More entries than a molecule object with every material group holds.
	for (Int32 i = 0; i < 4000; ++i)
		big.SetInt32(i, i * 3);
	Bytes buf;
	{
		MemoryStream w(&buf, true);
		EXPECT_TRUE(w->WriteContainer(big));
	}
	MemoryStream r(&buf, false);
	BaseContainer back;
	ASSERT_TRUE(r->ReadContainer(&back, true));
	EXPECT_TRUE(back == big);
}

TEST(CoreHyperFileRoundTrip, DocumentOfTheStream)
{
	BaseDocument* doc = BaseDocument::Alloc();
	ASSERT_NE(doc, nullptr);
	Bytes buf;
	{
		MemoryStream w(&buf, true, doc);
		EXPECT_EQ(w->GetDocument(), doc);
	}
	MemoryStream plain(&buf, false);
	EXPECT_EQ(plain->GetDocument(), nullptr);
	EXPECT_EQ(vh::OpenMemoryHyperFile(nullptr, true), nullptr);
	BaseDocument::Free(doc);
}

TEST(CoreHyperFileDamage, WrongTagFailsAndTheErrorSticks)
{
	Bytes buf;
	{
		MemoryStream w(&buf, true);
		EXPECT_TRUE(w->WriteInt32(5));
	}
	MemoryStream r(&buf, false);
	Float f = 8.5;
	EXPECT_FALSE(r->ReadFloat(&f));
	EXPECT_EQ(f, 8.5) << "left unchanged";
	EXPECT_FALSE(r->WriteInt32(1)) << "a read stream does not write";

	// A bool byte that is neither 0 nor 1, then a sound Int32 the failed read must not uncover.
	Bytes bad = {4, 7, 1, 9, 0, 0, 0};
	MemoryStream r2(&bad, false);
	Bool b = true;
	EXPECT_FALSE(r2->ReadBool(&b));
	EXPECT_TRUE(b);
	Int32 i = -1;
	EXPECT_FALSE(r2->ReadInt32(&i)) << "every read after a failure fails";
	EXPECT_EQ(i, -1);
}

TEST(CoreHyperFileDamage, EveryTruncationFails)
{
	BaseObject* op = BaseObject::Alloc(Onull);
	Bytes full = SampleStream(op);
	{
		MemoryStream r(&full, false);
		ASSERT_TRUE(ReadSample(r.hf));
	}
	for (size_t len = 0; len < full.size(); ++len)
	{
		Bytes cut(full.begin(), full.begin() + long(len));
		MemoryStream r(&cut, false);
		EXPECT_FALSE(ReadSample(r.hf)) << "cut at " << len;
	}
	BaseObject::Free(op);
}

TEST(CoreHyperFileDamage, ImplausibleLengthsFailFast)
{
	auto readString = [](const Bytes& b, String* s) {
		Bytes copy = b;
		MemoryStream r(&copy, false);
		return r->ReadString(s);
	};
	Bytes exact = {6};
	PutI32(exact, 3);
	exact.insert(exact.end(), {'a', 'b', 'c'});
	String s;
	EXPECT_TRUE(readString(exact, &s));
	EXPECT_TRUE(s == "abc");
	const Bytes oneShort(exact.begin(), exact.end() - 1);
	s = "keep"_s;
	EXPECT_FALSE(readString(oneShort, &s));
	EXPECT_TRUE(s == "keep");

	Bytes huge = {6};
	PutI32(huge, 0x7FFFFFFF);
	EXPECT_FALSE(readString(huge, &s));
	Bytes negative = {6};
	PutI32(negative, -5);
	EXPECT_FALSE(readString(negative, &s));

	// A container that claims two billion entries, and one nested far too deep.
	Bytes manyEntries = {8};
	PutI32(manyEntries, 0);
	PutI32(manyEntries, 0x7FFFFFFF);
	PutI32(manyEntries, 1);
	PutI32(manyEntries, DA_NIL);
	BaseContainer bc;
	{
		MemoryStream r(&manyEntries, false);
		EXPECT_FALSE(r->ReadContainer(&bc, true));
	}
	Bytes deep = {9};
	for (int i = 0; i < 100000; ++i)
	{
		PutI32(deep, DA_CONTAINER);
		PutI32(deep, 0);
		PutI32(deep, 1);
		PutI32(deep, 1);
	}
	// Many real entries: quadratic insertion time is refused, not waited for.
	Bytes wide = {8};
	PutI32(wide, 0);
	PutI32(wide, 200000);
	for (Int32 i = 0; i < 200000; ++i)
	{
		PutI32(wide, i);
		PutI32(wide, DA_NIL);
	}
	{
		MemoryStream r(&wide, false);
		EXPECT_FALSE(r->ReadContainer(&bc, true));
	}
	EXPECT_EQ(bc.GetCount(), 0);
	GeData g(Int32(3));
	{
		MemoryStream r(&deep, false);
		EXPECT_FALSE(r->ReadGeData(&g));
	}
	EXPECT_EQ(g.GetInt32(), 3);
}

TEST(CoreHyperFileDamage, GarbageNeverCrashes)
{
	BaseObject* op = BaseObject::Alloc(Onull);
	const Bytes sample = SampleStream(op);
	std::mt19937 rng(20240601);
	int accepted = 0;
	for (int round = 0; round < 3000; ++round)
	{
		Bytes b = sample;
		if (round % 2 == 0)
		{
			for (int k = 0; k < 1 + round % 5; ++k)
				b[rng() % b.size()] = static_cast<unsigned char>(rng());
		}
		else
		{
			b.resize(rng() % 64);
			for (unsigned char& c : b)
				c = static_cast<unsigned char>(rng() % 12);
		}
		MemoryStream r(&b, false);
		accepted += ReadSample(r.hf) ? 1 : 0;
	}
	EXPECT_LT(accepted, 1500) << "most corruptions are detected";
	BaseObject::Free(op);
}

TEST_F(CoreHyperFileDisk, HeaderIdentAndVersion)
{
	std::string path = dir + "/scene.vh";
	HyperFile* hf = HyperFile::Alloc();
	ASSERT_NE(hf, nullptr);
	ASSERT_TRUE(hf->Open(4711, vh::FromUtf8(path), FILEOPEN::WRITE, FILEDIALOG::NONE));
	EXPECT_FALSE(hf->Open(4711, vh::FromUtf8(path), FILEOPEN::WRITE, FILEDIALOG::NONE)) << "already open";
	EXPECT_TRUE(hf->WriteString("benzene"_s));
	EXPECT_TRUE(hf->Close());
	std::string bytes = ReadFile(path);
	ASSERT_GE(bytes.size(), 12u);
	EXPECT_EQ(bytes.substr(0, 12), std::string("VHYP\x01\0\0\0\x67\x12\0\0", 12));

	ASSERT_TRUE(hf->Open(4711, vh::FromUtf8(path), FILEOPEN::READ, FILEDIALOG::NONE));
	String s;
	EXPECT_TRUE(hf->ReadString(&s));
	EXPECT_TRUE(s == "benzene");
	EXPECT_TRUE(hf->Close());

	EXPECT_FALSE(hf->Open(4712, vh::FromUtf8(path), FILEOPEN::READ, FILEDIALOG::NONE)) << "other ident";
	std::string future = bytes;
	future[4] = 2;
	WriteFile(path, future);
	EXPECT_FALSE(hf->Open(4711, vh::FromUtf8(path), FILEOPEN::READ, FILEDIALOG::NONE)) << "newer format";
	WriteFile(path, "VHY");
	EXPECT_FALSE(hf->Open(4711, vh::FromUtf8(path), FILEOPEN::READ, FILEDIALOG::NONE));
	WriteFile(path, "not a scene at all");
	EXPECT_FALSE(hf->Open(4711, vh::FromUtf8(path), FILEOPEN::READ, FILEDIALOG::NONE));
	EXPECT_TRUE(vh::Dialogs().empty()) << "FILEDIALOG::NONE opens no box";
	HyperFile::Free(hf);
	EXPECT_EQ(hf, nullptr);
}

TEST_F(CoreHyperFileDisk, FailedSaveLeavesTheOldFile)
{
	std::string path = dir + "/scene.vh";
	HyperFile* hf = HyperFile::Alloc();
	ASSERT_TRUE(hf->Open(1, vh::FromUtf8(path), FILEOPEN::WRITE, FILEDIALOG::NONE));
	EXPECT_TRUE(hf->WriteInt32(1));
	EXPECT_TRUE(hf->Close());
	const std::string first = ReadFile(path);

	// Abandoned: freed without Close.
	ASSERT_TRUE(hf->Open(1, vh::FromUtf8(path), FILEOPEN::WRITE, FILEDIALOG::NONE));
	EXPECT_TRUE(hf->WriteInt32(2));
	HyperFile::Free(hf);
	EXPECT_EQ(ReadFile(path), first);
	EXPECT_EQ(Entries(), std::vector<std::string>{"scene.vh"}) << "no temporary left behind";

	// A write that failed: Close reports it and keeps the old file.
	hf = HyperFile::Alloc();
	ASSERT_TRUE(hf->Open(1, vh::FromUtf8(path), FILEOPEN::WRITE, FILEDIALOG::NONE));
	BaseContainer bad;
	BaseContainer* level = &bad;
	for (int i = 0; i < 100; ++i)
	{
		level->SetContainer(1, BaseContainer());
		level = level->GetContainerInstance(1);
	}
	EXPECT_FALSE(hf->WriteContainer(bad)) << "nesting beyond what a reader accepts";
	EXPECT_FALSE(hf->WriteInt32(3));
	EXPECT_FALSE(hf->Close());
	EXPECT_EQ(ReadFile(path), first);
	EXPECT_EQ(Entries(), std::vector<std::string>{"scene.vh"});
	HyperFile::Free(hf);
}

TEST_F(CoreHyperFileDisk, OpenFailuresAndDialogs)
{
	HyperFile* hf = HyperFile::Alloc();
	Filename missing = vh::FromUtf8(dir + "/missing.vh");
	EXPECT_FALSE(hf->Open(1, missing, FILEOPEN::READ, FILEDIALOG::IGNOREOPEN));
	EXPECT_TRUE(vh::Dialogs().empty()) << "IGNOREOPEN: a missing file is no error to show";
	EXPECT_FALSE(hf->Open(1, missing, FILEOPEN::READ, FILEDIALOG::ANY));
	EXPECT_EQ(vh::Dialogs().size(), 1u);
	EXPECT_FALSE(hf->Open(1, vh::FromUtf8(dir + "/no/such/dir/x.vh"), FILEOPEN::WRITE, FILEDIALOG::NONE));
	EXPECT_FALSE(hf->Open(1, Filename(), FILEOPEN::READ, FILEDIALOG::NONE));
	EXPECT_FALSE(hf->Open(1, missing, FILEOPEN::NONE, FILEDIALOG::NONE));
	Int32 v = 0;
	EXPECT_FALSE(hf->ReadInt32(&v)) << "not open";
	EXPECT_FALSE(hf->Close());
	HyperFile::Free(hf);
}
