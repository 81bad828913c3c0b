// File names, file existence and the host's scene-file stream.
#pragma once

#include "c4d_string.h"

class BaseContainer;
class GeData;
class BaseDocument;

class Filename
{
public:
	Filename() = default;
	Filename(const Char* string) : _path(string) {}
	Filename(const maxon::String& string) : _path(string) {}
	Filename(const Filename& src) = default;
	Filename& operator=(const Filename& src) = default;

	Bool IsPopulated() const { return _path.IsPopulated(); }
	Bool IsEmpty() const { return _path.IsEmpty(); }
	String GetString() const { return _path; }
	void SetString(const maxon::String& str) { _path = str; }

	const Filename GetDirectory() const;
	void SetDirectory(const Filename& dir);
	const Filename GetFile() const;
	void SetFile(const Filename& file);
	String GetFileString() const { return GetFile().GetString(); }

	// Suffix of the file part, without the dot; empty when there is none.
	String GetSuffix() const;
	void SetSuffix(const maxon::String& suffix);
	void ClearSuffix();
	void ClearSuffixComplete();
	Bool CheckSuffix(const maxon::String& str) const;

	Filename& operator+=(const Filename& b);
	Bool operator==(const Filename& b) const { return _path == b._path; }
	Bool operator!=(const Filename& b) const { return !(_path == b._path); }
	void CopyTo(Filename* dst) const { *dst = *this; }

private:
	String _path;
};

// Joins two paths with the host's separator.
const Filename operator+(const Filename& a, const Filename& b);

// isdir false: true only for an existing file (not a folder).
Bool GeFExist(const Filename& name, Bool isdir = false);
const Filename GeGetPluginPath();
Filename GeGetPluginResourcePath();

enum class FILEOPEN { NONE = 0, READ = 1, WRITE = 2 };
enum class FILEDIALOG { NONE = 0, ANY = 1, IGNOREOPEN = 2 };

namespace vh { struct HyperFileState; }

// Scene-file stream; every value carries a type header of the host's framing.
class HyperFile
{
public:
	static HyperFile* Alloc();
	static void Free(HyperFile*& hf);

	Bool Open(Int32 ident, const Filename& filename, FILEOPEN mode, FILEDIALOG error_dialog);
	Bool Close();

	Bool WriteInt32(Int32 v);
	Bool WriteInt64(Int64 v);
	Bool WriteFloat(Float v);
	Bool WriteBool(Bool v);
	Bool WriteVector(const Vector& v);
	Bool WriteString(const maxon::String& v);
	Bool WriteFilename(const Filename& v);
	Bool WriteContainer(const BaseContainer& v);
	Bool WriteGeData(const GeData& v);

	Bool ReadInt32(Int32* v);
	Bool ReadInt64(Int64* v);
	Bool ReadFloat(Float* v);
	Bool ReadBool(Bool* v);
	Bool ReadVector(Vector* v);
	Bool ReadString(maxon::String* v);
	Bool ReadFilename(Filename* v);
	Bool ReadContainer(BaseContainer* v, Bool flush);
	Bool ReadGeData(GeData* v);

	BaseDocument* GetDocument() const;

	vh::HyperFileState* _state = nullptr;

private:
	HyperFile() = default;
	~HyperFile() = default;
};
