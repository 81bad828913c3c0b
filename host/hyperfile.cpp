// HyperFile: the host's tagged little-endian framing of scene data, over a file or a memory buffer.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <fcntl.h>
#include <unistd.h>

#include "atomicfile.h"
#include "c4d_basecontainer.h"
#include "c4d_baselist.h"
#include "c4d_general.h"
#include "vh/host.h"
#include "vh/hyperfile.h"

using vh::HyperFileState;
using vh::HyperTag;

namespace
{
// Deeper nesting is garbage, not a scene; the limit keeps recursion off the end of the stack.
constexpr int kMaxDepth = 64;
// Smallest container entry: id + type of a DA_NIL value.
constexpr size_t kMinEntryBytes = 8;
// BaseContainer::SetData searches linearly; this budget (about 5800 entries in one container, far
// above the few thousand a molecule object with every material group holds) keeps a crafted file
// from making a read take quadratic time.
constexpr UInt64 kMaxReadWork = UInt64(1) << 24;

// ---- writing ----------------------------------------------------------------------------------

class Writer
{
public:
	explicit Writer(HyperFileState& s) : _s(s), _out(s.memory ? *s.memory : s.data) {}

	Bool Ok() const { return !_s.error; }

	void Bytes(const void* p, size_t n)
	{
		if (_s.error)
			return;
		try
		{
			const unsigned char* b = static_cast<const unsigned char*>(p);
			_out.insert(_out.end(), b, b + n);
		}
		catch (const std::bad_alloc&)
		{
			_s.error = true;
		}
	}

	void U64(UInt64 v, int bytes)
	{
		unsigned char b[8];
		for (int i = 0; i < bytes; ++i)
			b[i] = static_cast<unsigned char>(v >> (8 * i));
		Bytes(b, size_t(bytes));
	}

	void Tag(HyperTag t) { U64(static_cast<unsigned char>(t), 1); }
	void I32(Int32 v) { U64(UInt64(UInt32(v)), 4); }
	void I64(Int64 v) { U64(UInt64(v), 8); }

	void F64(Float v)
	{
		UInt64 bits;
		std::memcpy(&bits, &v, sizeof bits);
		U64(bits, 8);
	}

	void Vec(const Vector& v)
	{
		F64(v.x);
		F64(v.y);
		F64(v.z);
	}

	void Str(const maxon::String& s)
	{
		std::string utf8 = vh::ToUtf8(s);
		if (utf8.size() > size_t(INT32_MAX) || (utf8.empty() && s.IsPopulated()))
		{
			_s.error = true;
			return;
		}
		I32(Int32(utf8.size()));
		Bytes(utf8.data(), utf8.size());
	}

	void Container(const BaseContainer& bc, int depth)
	{
		if (depth > kMaxDepth)
		{
			_s.error = true;
			return;
		}
		I32(bc.GetId());
		I32(bc.GetCount());
		for (Int32 i = 0; i < bc.GetCount() && Ok(); ++i)
		{
			I32(bc.GetIndexId(i));
			Data(*bc.GetIndexData(i), depth);
		}
	}

	void Data(const GeData& d, int depth)
	{
		I32(d.GetType());
		switch (d.GetType())
		{
			case DA_NIL:
			case DA_VOID:
				break;
			case DA_LONG:
				I32(d.GetInt32());
				break;
			case DA_LLONG:
				I64(d.GetInt64());
				break;
			case DA_REAL:
				F64(d.GetFloat());
				break;
			case DA_VECTOR:
				Vec(d.GetVector());
				break;
			case DA_STRING:
				Str(d.GetString());
				break;
			case DA_FILENAME:
				Str(d.GetFilename().GetString());
				break;
			case DA_CONTAINER:
				if (d.GetContainer())
					Container(*d.GetContainer(), depth + 1);
				else
					_s.error = true;
				break;
			case DA_ALIASLINK:
				I64(d.GetBaseLink() ? d.GetBaseLink()->_target : 0);
				break;
			default:
				_s.error = true;
				break;
		}
	}

private:
	HyperFileState& _s;
	std::vector<unsigned char>& _out;
};

// ---- reading ----------------------------------------------------------------------------------

class Reader
{
public:
	explicit Reader(HyperFileState& s) : _s(s), _in(s.memory ? *s.memory : s.data) {}

	Bool Ok() const { return !_s.error; }
	size_t Left() const { return _s.pos <= _in.size() ? _in.size() - _s.pos : 0; }

	Bool Fail()
	{
		_s.error = true;
		return false;
	}

	// The data ends before a value that needs n more bytes.
	Bool Short()
	{
		_s.truncated = !_s.error;
		return Fail();
	}

	Bool Bytes(void* p, size_t n)
	{
		if (_s.error || Left() < n)
			return Short();
		std::memcpy(p, _in.data() + _s.pos, n);
		_s.pos += n;
		return true;
	}

	Bool U64(UInt64* v, int bytes)
	{
		unsigned char b[8];
		if (!Bytes(b, size_t(bytes)))
			return false;
		UInt64 r = 0;
		for (int i = 0; i < bytes; ++i)
			r |= UInt64(b[i]) << (8 * i);
		*v = r;
		return true;
	}

	Bool Tag(HyperTag expected)
	{
		UInt64 t;
		if (!U64(&t, 1))
			return false;
		if (t == static_cast<unsigned char>(expected))
			return true;
		// The position names the value that is wrong, not the byte after its tag.
		--_s.pos;
		return Fail();
	}

	Bool I32(Int32* v)
	{
		UInt64 r;
		if (!U64(&r, 4))
			return false;
		*v = Int32(UInt32(r));
		return true;
	}

	Bool I64(Int64* v)
	{
		UInt64 r;
		if (!U64(&r, 8))
			return false;
		*v = Int64(r);
		return true;
	}

	Bool F64(Float* v)
	{
		UInt64 bits;
		if (!U64(&bits, 8))
			return false;
		std::memcpy(v, &bits, sizeof bits);
		return true;
	}

	Bool Vec(Vector* v)
	{
		Vector r;
		if (!F64(&r.x) || !F64(&r.y) || !F64(&r.z))
			return false;
		*v = r;
		return true;
	}

	Bool Boolean(Bool* v)
	{
		UInt64 b;
		if (!U64(&b, 1))
			return false;
		if (b > 1)
			return Fail();
		*v = b != 0;
		return true;
	}

	Bool Str(String* v)
	{
		Int32 len;
		if (!I32(&len))
			return false;
		if (len < 0)
			return Fail();
		if (size_t(len) > Left())
			return Short();
		try
		{
			std::string utf8(reinterpret_cast<const char*>(_in.data() + _s.pos), size_t(len));
			_s.pos += size_t(len);
			*v = vh::FromUtf8(utf8);
		}
		catch (const std::bad_alloc&)
		{
			return Fail();
		}
		return true;
	}

	Bool Container(BaseContainer* bc, int depth)
	{
		Int32 id, count;
		if (depth > kMaxDepth || !I32(&id) || !I32(&count))
			return Fail();
		if (count < 0)
			return Fail();
		if (size_t(count) > Left() / kMinEntryBytes)
			return Short();
		bc->SetId(id);
		for (Int32 i = 0; i < count; ++i)
		{
			Int32 entryId;
			GeData d;
			if (!I32(&entryId) || !Data(&d, depth))
				return false;
			_s.work += UInt64(bc->GetCount()) + 1;
			if (_s.work > kMaxReadWork)
				return Fail();
			if (!bc->SetData(entryId, d))
				return Fail();
		}
		return true;
	}

	Bool Data(GeData* v, int depth)
	{
		Int32 type;
		if (!I32(&type))
			return false;
		switch (type)
		{
			case DA_NIL:
				*v = GeData();
				return true;
			case DA_LONG:
				return Value(&Reader::I32, v, [](Int32 x) { return GeData(x); });
			case DA_LLONG:
				return Value(&Reader::I64, v, [](Int64 x) { return GeData(x, DEFAULTVALUE_LLONG); });
			case DA_REAL:
				return Value(&Reader::F64, v, [](Float x) { return GeData(x); });
			case DA_VECTOR:
				return Value(&Reader::Vec, v, [](const Vector& x) { return GeData(x); });
			case DA_STRING:
				return Value(&Reader::Str, v, [](const String& x) { return GeData(x); });
			case DA_FILENAME:
				return Value(&Reader::Str, v, [](const String& x) { return GeData(Filename(x)); });
			case DA_CONTAINER:
			{
				BaseContainer x;
				if (!Container(&x, depth + 1))
					return false;
				*v = GeData(x);
				return v->GetType() == DA_CONTAINER ? true : Fail();
			}
			case DA_ALIASLINK:
				return Link(v);
			default:
				return Fail();
		}
	}

private:
	// A value read by read, then made a GeData by make.
	template <typename T, typename Make>
	Bool Value(Bool (Reader::*read)(T*), GeData* v, Make&& make)
	{
		T x;
		if (!(this->*read)(&x))
			return false;
		*v = make(x);
		return true;
	}

	Bool Link(GeData* v)
	{
		Int64 target;
		if (!I64(&target))
			return false;
		BaseLink* link = BaseLink::Alloc();
		if (!link)
			return Fail();
		link->_target = target;
		*v = GeData(static_cast<const BaseLink*>(link));
		BaseLink::Free(link);
		return v->GetBaseLink() ? true : Fail();
	}

	HyperFileState& _s;
	const std::vector<unsigned char>& _in;
};

HyperFileState* ReadState(HyperFile* hf)
{
	HyperFileState* s = hf->_state;
	if (!s || !s->open || s->write)
		return nullptr;
	if (s->error)
		return nullptr;
	return s;
}

HyperFileState* WriteState(HyperFile* hf)
{
	HyperFileState* s = hf->_state;
	if (!s || !s->open || !s->write || s->error)
		return nullptr;
	return s;
}

void ResetState(HyperFileState& s)
{
	if (!s.temp.empty())
		::unlink(s.temp.c_str());
	BaseDocument* doc = s.document;
	s = HyperFileState();
	s.document = doc;
}

Bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& out, Bool* missing)
{
	*missing = false;
	FILE* f = std::fopen(path.c_str(), "rb");
	if (!f)
	{
		*missing = errno == ENOENT;
		return false;
	}
	Bool ok = true;
	try
	{
		unsigned char buf[65536];
		size_t n;
		while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
			out.insert(out.end(), buf, buf + n);
		ok = !std::ferror(f);
	}
	catch (const std::bad_alloc&)
	{
		ok = false;
	}
	std::fclose(f);
	return ok;
}

void ReportOpenFailure(FILEDIALOG dialog, Bool missing, const Filename& name)
{
	if (dialog == FILEDIALOG::ANY || (dialog == FILEDIALOG::IGNOREOPEN && !missing))
		GeOutString(String("Cannot open file ") + name.GetString(), GEMB::OK | GEMB::ICONEXCLAMATION);
}
} // namespace

// ---- HyperFile --------------------------------------------------------------------------------

HyperFile* HyperFile::Alloc()
{
	HyperFile* hf = new (std::nothrow) HyperFile;
	if (!hf)
		return nullptr;
	hf->_state = new (std::nothrow) HyperFileState;
	if (!hf->_state)
	{
		delete hf;
		return nullptr;
	}
	return hf;
}

void HyperFile::Free(HyperFile*& hf)
{
	if (!hf)
		return;
	if (hf->_state)
	{
		// Never closed: the half-written temporary goes, the target stays as it was.
		ResetState(*hf->_state);
		delete hf->_state;
	}
	delete hf;
	hf = nullptr;
}

Bool HyperFile::Open(Int32 ident, const Filename& filename, FILEOPEN mode, FILEDIALOG error_dialog)
{
	if (!_state || _state->open || (mode != FILEOPEN::READ && mode != FILEOPEN::WRITE))
		return false;
	HyperFileState& s = *_state;
	ResetState(s);
	try
	{
		std::string path = vh::ToUtf8(filename.GetString());
		if (path.empty())
		{
			ReportOpenFailure(error_dialog, true, filename);
			return false;
		}
		s.ident = ident;
		if (mode == FILEOPEN::WRITE)
		{
			std::string temp;
			int fd = vh::CreateTemporaryBeside(path, temp);
			if (fd < 0)
			{
				ReportOpenFailure(error_dialog, false, filename);
				return false;
			}
			::close(fd);
			s.target = path;
			s.temp = temp;
			s.write = true;
			s.open = true;
			Writer w(s);
			w.Bytes(vh::kHyperMagic, sizeof vh::kHyperMagic);
			w.I32(vh::kHyperVersion);
			w.I32(ident);
			return w.Ok();
		}
		Bool missing = false;
		if (!ReadWholeFile(path, s.data, &missing))
		{
			ResetState(s);
			ReportOpenFailure(error_dialog, missing, filename);
			return false;
		}
		s.open = true;
		Reader r(s);
		char magic[4];
		Int32 version = 0, fileIdent = 0;
		if (!r.Bytes(magic, sizeof magic) || std::memcmp(magic, vh::kHyperMagic, sizeof magic) != 0 || !r.I32(&version) ||
			version < 1 || version > vh::kHyperVersion || !r.I32(&fileIdent) || fileIdent != ident)
		{
			ResetState(s);
			ReportOpenFailure(error_dialog, false, filename);
			return false;
		}
		return true;
	}
	catch (const std::bad_alloc&)
	{
		ResetState(s);
		return false;
	}
}

Bool HyperFile::Close()
{
	if (!_state || !_state->open)
		return false;
	HyperFileState& s = *_state;
	Bool ok = !s.error;
	if (s.write && !s.memory)
	{
		int fd = ok ? ::open(s.temp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC) : -1;
		ok = vh::CommitTemporary(fd, s.temp, s.target, s.data.data(), s.data.size());
		if (ok)
			s.temp.clear();
	}
	ResetState(s);
	return ok;
}

BaseDocument* HyperFile::GetDocument() const { return _state ? _state->document : nullptr; }

#define VH_WRITE(body) \
	HyperFileState* s = WriteState(this); \
	if (!s) \
		return false; \
	Writer w(*s); \
	body; \
	return w.Ok()

Bool HyperFile::WriteInt32(Int32 v) { VH_WRITE(w.Tag(HyperTag::INT32); w.I32(v)); }
Bool HyperFile::WriteInt64(Int64 v) { VH_WRITE(w.Tag(HyperTag::INT64); w.I64(v)); }
Bool HyperFile::WriteFloat(Float v) { VH_WRITE(w.Tag(HyperTag::FLOAT); w.F64(v)); }
Bool HyperFile::WriteBool(Bool v) { VH_WRITE(w.Tag(HyperTag::BOOL); w.U64(v ? 1 : 0, 1)); }
Bool HyperFile::WriteVector(const Vector& v) { VH_WRITE(w.Tag(HyperTag::VECTOR); w.Vec(v)); }
Bool HyperFile::WriteString(const maxon::String& v) { VH_WRITE(w.Tag(HyperTag::STRING); w.Str(v)); }
Bool HyperFile::WriteFilename(const Filename& v) { VH_WRITE(w.Tag(HyperTag::FILENAME); w.Str(v.GetString())); }
Bool HyperFile::WriteContainer(const BaseContainer& v) { VH_WRITE(w.Tag(HyperTag::CONTAINER); w.Container(v, 0)); }
Bool HyperFile::WriteGeData(const GeData& v) { VH_WRITE(w.Tag(HyperTag::GEDATA); w.Data(v, 0)); }

#undef VH_WRITE

// Each read goes into a local first, so *v stays untouched when it fails.
#define VH_READ(tag, T, call) \
	HyperFileState* s = ReadState(this); \
	if (!s || !v) \
		return false; \
	Reader r(*s); \
	T x; \
	if (!r.Tag(tag) || !(call)) \
		return false; \
	*v = x; \
	return true

Bool HyperFile::ReadInt32(Int32* v) { VH_READ(HyperTag::INT32, Int32, r.I32(&x)); }
Bool HyperFile::ReadInt64(Int64* v) { VH_READ(HyperTag::INT64, Int64, r.I64(&x)); }
Bool HyperFile::ReadFloat(Float* v) { VH_READ(HyperTag::FLOAT, Float, r.F64(&x)); }
Bool HyperFile::ReadBool(Bool* v) { VH_READ(HyperTag::BOOL, Bool, r.Boolean(&x)); }
Bool HyperFile::ReadVector(Vector* v) { VH_READ(HyperTag::VECTOR, Vector, r.Vec(&x)); }
Bool HyperFile::ReadString(maxon::String* v) { VH_READ(HyperTag::STRING, String, r.Str(&x)); }
Bool HyperFile::ReadGeData(GeData* v) { VH_READ(HyperTag::GEDATA, GeData, r.Data(&x, 0)); }

#undef VH_READ

Bool HyperFile::ReadFilename(Filename* v)
{
	HyperFileState* s = ReadState(this);
	if (!s || !v)
		return false;
	Reader r(*s);
	String x;
	if (!r.Tag(HyperTag::FILENAME) || !r.Str(&x))
		return false;
	*v = Filename(x);
	return true;
}

Bool HyperFile::ReadContainer(BaseContainer* v, Bool flush)
{
	HyperFileState* s = ReadState(this);
	if (!s || !v)
		return false;
	Reader r(*s);
	try
	{
		BaseContainer x;
		if (!r.Tag(HyperTag::CONTAINER) || !r.Container(&x, 0))
			return false;
		if (flush)
		{
			*v = x;
			return true;
		}
		v->SetId(x.GetId());
		for (Int32 i = 0; i < x.GetCount(); ++i)
			if (!v->SetData(x.GetIndexId(i), *x.GetIndexData(i)))
				return r.Fail();
		return true;
	}
	catch (const std::bad_alloc&)
	{
		return r.Fail();
	}
}

namespace vh
{
HyperFile* OpenMemoryHyperFile(std::vector<unsigned char>* buffer, Bool write, BaseDocument* document)
{
	if (!buffer)
		return nullptr;
	HyperFile* hf = HyperFile::Alloc();
	if (!hf)
		return nullptr;
	HyperFileState& s = *hf->_state;
	s.memory = buffer;
	s.write = write;
	s.open = true;
	s.document = document;
	if (write)
		buffer->clear();
	return hf;
}
} // namespace vh
