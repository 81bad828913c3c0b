#pragma once

#include "c4d_file.h"

namespace vh { struct Access; struct BitmapState; }

class BaseBitmap
{
public:
	static BaseBitmap* Alloc();
	static void Free(BaseBitmap*& bm);
	Int32 GetBw() const;
	Int32 GetBh() const;

	vh::BitmapState* _state = nullptr;

private:
	BaseBitmap() = default;
	~BaseBitmap() = default;
	friend struct vh::Access;
};

// Loads an image of the plug-in's res folder; converts to nullptr when loading failed.
class AutoBitmap
{
public:
	explicit AutoBitmap(const maxon::String& str, Float pixelRatio = 1.0);
	explicit AutoBitmap(Int32 id);
	~AutoBitmap();
	AutoBitmap(const AutoBitmap&) = delete;
	AutoBitmap& operator=(const AutoBitmap&) = delete;
	operator BaseBitmap*() const { return _bmp; }

private:
	BaseBitmap* _bmp = nullptr;
};
