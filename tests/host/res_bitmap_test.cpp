// Bitmaps: the plug-in's icon and TIFF files written byte by byte, good and broken.
#include <cstdint>

#include "resource.h"
#include "res_support.h"

using namespace res_test;

namespace
{
void Put16(std::string& s, uint16_t v)
{
	s += static_cast<char>(v & 0xff);
	s += static_cast<char>(v >> 8);
}
void Put32(std::string& s, uint32_t v)
{
	for (int i = 0; i < 4; ++i)
		s += static_cast<char>((v >> (8 * i)) & 0xff);
}
void Entry(std::string& s, uint16_t tag, uint16_t type, uint32_t count, uint32_t value)
{
	Put16(s, tag);
	Put16(s, type);
	Put32(s, count);
	if (type == 3 && count == 1)
	{
		Put16(s, static_cast<uint16_t>(value));
		Put16(s, 0);
	}
	else
	{
		Put32(s, value);
	}
}

// Baseline little-endian RGB TIFF, 3 x 2 pixels, uncompressed, one strip.
std::string SmallTiff()
{
	const uint16_t kShort = 3;
	const uint16_t kLong = 4;
	const uint32_t bitsAt = 8 + 2 + 10 * 12 + 4;
	const uint32_t pixelsAt = bitsAt + 6;
	std::string s = "II";
	Put16(s, 42);
	Put32(s, 8);
	Put16(s, 10);
	Entry(s, 256, kShort, 1, 3);
	Entry(s, 257, kShort, 1, 2);
	Entry(s, 258, kShort, 3, bitsAt);
	Entry(s, 259, kShort, 1, 1);
	Entry(s, 262, kShort, 1, 2);
	Entry(s, 273, kLong, 1, pixelsAt);
	Entry(s, 277, kShort, 1, 3);
	Entry(s, 278, kShort, 1, 2);
	Entry(s, 279, kLong, 1, 18);
	Entry(s, 284, kShort, 1, 1);
	Put32(s, 0);
	for (int i = 0; i < 3; ++i)
		Put16(s, 8);
	const unsigned char rgb[18] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 10, 20, 30};
	s.append(reinterpret_cast<const char*>(rgb), sizeof(rgb));
	return s;
}

BaseBitmap* LoadFile(const std::string& path)
{
	return Calls().LoadBitmap(Filename(vh::FromUtf8(path)), 1.0);
}

class Bitmaps : public QuietConsole
{
protected:
	TempDir _dir;
};
} // namespace

TEST_F(Bitmaps, ThePluginIconLoads)
{
	const std::string icon = ProjectRes() + "/icons8-test-tube.tif";
	if (!std::filesystem::exists(icon))
		GTEST_SKIP() << icon << " is not in the project yet";
	BaseBitmap* bmp = LoadFile(icon);
	ASSERT_NE(bmp, nullptr) << ConsoleText();
	EXPECT_GT(bmp->GetBw(), 0);
	EXPECT_GT(bmp->GetBh(), 0);
	EXPECT_EQ(bmp->_state->pixels.size(), static_cast<size_t>(bmp->GetBw()) * bmp->GetBh());
	EXPECT_TRUE(vh::ConsoleLines().empty()) << ConsoleText();
	Calls().FreeBitmap(bmp);
}

TEST_F(Bitmaps, DecodesSizeAndPixelsTopRowFirst)
{
	const std::string path = _dir.Path() + "/small.tif";
	WriteFile(path, SmallTiff());
	BaseBitmap* bmp = LoadFile(path);
	ASSERT_NE(bmp, nullptr) << ConsoleText();
	EXPECT_EQ(bmp->GetBw(), 3);
	EXPECT_EQ(bmp->GetBh(), 2);
	const std::vector<UInt32>& px = bmp->_state->pixels;
	ASSERT_EQ(px.size(), 6u);
	// libtiff packs pixels as ABGR: red in the lowest byte.
	EXPECT_EQ(px[0], 0xff0000ffu);
	EXPECT_EQ(px[1], 0xff00ff00u);
	EXPECT_EQ(px[2], 0xffff0000u);
	EXPECT_EQ(px[5], 0xff1e140au);
	Calls().FreeBitmap(bmp);
}

TEST_F(Bitmaps, MissingBrokenAndForeignFilesGiveNullAndOneQuietConsoleLine)
{
	const std::string tiff = SmallTiff();
	const std::pair<const char*, std::string> files[] = {
		{"text.tif", "this is not an image\n"},
		{"truncated.tif", tiff.substr(0, 40)},
		{"nopixels.tif", tiff.substr(0, tiff.size() - 10)},
		{"empty.tif", ""},
	};
	for (const auto& [name, content] : files)
		WriteFile(_dir.Path() + "/" + name, content);
	std::vector<std::string> paths = {_dir.Path() + "/absent.tif", _dir.Path()};
	for (const auto& f : files)
		paths.push_back(_dir.Path() + "/" + f.first);

	for (const std::string& path : paths)
	{
		SCOPED_TRACE(path);
		vh::ClearConsoleAndDialogs();
		::testing::internal::CaptureStderr();
		BaseBitmap* bmp = LoadFile(path);
		const std::string err = ::testing::internal::GetCapturedStderr();
		EXPECT_EQ(bmp, nullptr);
		if (bmp)
			Calls().FreeBitmap(bmp);
		EXPECT_EQ(vh::ConsoleLines().size(), 1u) << ConsoleText();
		EXPECT_TRUE(ConsoleHas(path)) << ConsoleText();
		EXPECT_EQ(err, "") << "libtiff printed on its own";
	}
}

TEST(ResBaseBitmap, AllocStartsEmptyAndFreeClearsThePointer)
{
	BaseBitmap* bmp = BaseBitmap::Alloc();
	ASSERT_NE(bmp, nullptr);
	EXPECT_EQ(bmp->GetBw(), 0);
	EXPECT_EQ(bmp->GetBh(), 0);
	BaseBitmap::Free(bmp);
	EXPECT_EQ(bmp, nullptr);
	BaseBitmap::Free(bmp);
}
