// Bitmaps: icons read from TIFF files with libtiff.
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <new>
#include <sys/stat.h>

#include <tiffio.h>

#include "maxon/debugdiagnostics.h"
#include "resource.h"

namespace vh
{
namespace
{
// Larger images are no icons; refusing them keeps a corrupt header from asking for gigabytes.
constexpr UInt32 kMaxSide = 16384;

struct TiffMessages
{
	std::string firstError;
};

int CollectError(TIFF*, void* user, const char* module, const char* fmt, va_list ap)
{
	auto* m = static_cast<TiffMessages*>(user);
	if (m && m->firstError.empty())
	{
		char buf[512];
		std::vsnprintf(buf, sizeof(buf), fmt, ap);
		m->firstError = module && *module ? std::string(module) + ": " + buf : std::string(buf);
	}
	return 1;
}

int IgnoreWarning(TIFF*, void*, const char*, const char*, va_list)
{
	return 1;
}

void SilenceLibtiff()
{
	static std::once_flag once;
	std::call_once(once, [] {
		TIFFSetWarningHandler(nullptr);
		TIFFSetErrorHandler(nullptr);
	});
}

void ReportFailure(const std::string& path, const std::string& why)
{
	ApplicationOutput(FromUtf8("LoadBitmap: cannot load '" + path + "': " + why));
}

Bool ReadTiff(const std::string& path, BitmapState& out, std::string& why)
{
	TiffMessages messages;
	TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
	if (!opts)
	{
		why = "out of memory";
		return false;
	}
	TIFFOpenOptionsSetErrorHandlerExtR(opts, CollectError, &messages);
	TIFFOpenOptionsSetWarningHandlerExtR(opts, IgnoreWarning, nullptr);
	TIFF* tif = TIFFOpenExt(path.c_str(), "r", opts);
	TIFFOpenOptionsFree(opts);
	if (!tif)
	{
		why = messages.firstError.empty() ? "not a TIFF file" : messages.firstError;
		return false;
	}
	UInt32 w = 0, h = 0;
	Bool ok = TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) == 1 && TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h) == 1;
	if (!ok || w == 0 || h == 0 || w > kMaxSide || h > kMaxSide)
	{
		TIFFClose(tif);
		why = "no usable image size";
		return false;
	}
	try
	{
		out.pixels.resize(static_cast<size_t>(w) * h);
	}
	catch (const std::bad_alloc&)
	{
		TIFFClose(tif);
		why = "out of memory";
		return false;
	}
	ok = TIFFReadRGBAImageOriented(tif, w, h, out.pixels.data(), ORIENTATION_TOPLEFT, 0) == 1;
	TIFFClose(tif);
	if (!ok)
	{
		why = messages.firstError.empty() ? "cannot decode the image" : messages.firstError;
		return false;
	}
	out.width = static_cast<Int32>(w);
	out.height = static_cast<Int32>(h);
	return true;
}
} // namespace

BaseBitmap* LoadBitmapFile(const Filename& file, Float pixelRatio)
{
	std::string path;
	try
	{
		path = ToUtf8(file.GetString());
	}
	catch (const std::bad_alloc&)
	{
		return nullptr;
	}
	SilenceLibtiff();
	struct stat st;
	if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
	{
		ReportFailure(path, "file not found");
		return nullptr;
	}
	BaseBitmap* bmp = BaseBitmap::Alloc();
	if (!bmp)
		return nullptr;
	std::string why;
	if (!ReadTiff(path, *bmp->_state, why))
	{
		BaseBitmap::Free(bmp);
		ReportFailure(path, why);
		return nullptr;
	}
	bmp->_state->pixelRatio = pixelRatio;
	return bmp;
}
} // namespace vh

BaseBitmap* BaseBitmap::Alloc()
{
	BaseBitmap* bm = new (std::nothrow) BaseBitmap();
	if (!bm)
		return nullptr;
	bm->_state = new (std::nothrow) vh::BitmapState();
	if (!bm->_state)
	{
		delete bm;
		return nullptr;
	}
	return bm;
}

void BaseBitmap::Free(BaseBitmap*& bm)
{
	if (!bm)
		return;
	delete bm->_state;
	delete bm;
	bm = nullptr;
}

Int32 BaseBitmap::GetBw() const
{
	return _state ? _state->width : 0;
}

Int32 BaseBitmap::GetBh() const
{
	return _state ? _state->height : 0;
}
