// GeData (one tagged value, owning deep copies of its container and link) and BaseContainer.
#include <new>
#include <utility>

#include "c4d_basecontainer.h"
#include "c4d_baselist.h"

namespace
{
const String& EmptyString()
{
	static const String s;
	return s;
}

const Filename& EmptyFilename()
{
	static const Filename f;
	return f;
}

const Vector& ZeroVector()
{
	static const Vector v;
	return v;
}

BaseContainer* CloneContainer(const BaseContainer* bc)
{
	if (!bc)
		return nullptr;
	try
	{
		return new BaseContainer(*bc);
	}
	catch (const std::bad_alloc&)
	{
		return nullptr;
	}
}

Int64 LinkTarget(const BaseLink* link) { return link ? link->_target : 0; }

// Room for one more entry. The first takes one (most generated objects hold a single value, and
// an entry is large); the second room for four, which the generated sweeps and splines hold, in
// one step instead of two; from there the room doubles. Throws std::bad_alloc.
template <typename Entries>
void Grow(Entries& entries)
{
	const size_t size = entries.size();
	if (size < entries.capacity())
		return;
	entries.reserve(size == 0 ? 1 : size == 1 ? 4 : 2 * size);
}
} // namespace

// ---- GeData -----------------------------------------------------------------------------------

GeData::GeData(const BaseContainer& bc) : _type(DA_CONTAINER), _container(CloneContainer(&bc))
{
	if (!_container)
		_type = DA_NIL;
}

GeData::GeData(const BaseLink* link) : _type(DA_ALIASLINK), _link(link ? link->GetClone() : BaseLink::Alloc()) {}

// A null node gives a link entry without a target, so GetLink answers nullptr.
GeData::GeData(BaseList2D* bl) : _type(DA_ALIASLINK), _link(BaseLink::Alloc())
{
	if (_link && bl)
		_link->SetLink(bl);
}

GeData::GeData(const GeData& src) : _slot(src._slot), _int(0) { CopyFrom(src); }

void GeData::CopyFrom(const GeData& src)
{
	switch (src._type)
	{
		case DA_STRING:
			new (&_string) String(src._string);
			break;
		case DA_FILENAME:
			new (&_filename) Filename(src._filename);
			break;
		case DA_CONTAINER:
			_container = CloneContainer(src._container);
			if (src._container && !_container)
				return;
			break;
		case DA_ALIASLINK:
			_link = src._link ? src._link->GetClone() : nullptr;
			break;
		case DA_VECTOR:
			new (&_vector) Vector(src._vector);
			break;
		case DA_REAL:
			_float = src._float;
			break;
		default:
			_int = src._int;
			break;
	}
	_type = src._type;
}

GeData& GeData::operator=(const GeData& src)
{
	// The copy comes first: src may live inside the container this value holds.
	if (this != &src)
		*this = GeData(src);
	return *this;
}

GeData::GeData(GeData&& src) noexcept : _slot(src._slot), _int(0) { TakeFrom(src); }

GeData& GeData::operator=(GeData&& src) noexcept
{
	if (this == &src)
		return *this;
	// Taken first, for the same reason as in the copy.
	GeData taken(std::move(src));
	Clear();
	TakeFrom(taken);
	return *this;
}

void GeData::TakeFrom(GeData& src) noexcept
{
	switch (src._type)
	{
		case DA_STRING:
			new (&_string) String(std::move(src._string));
			_type = DA_STRING;
			break;
		case DA_CONTAINER:
		case DA_ALIASLINK:
			// The container or link now belongs here: src, left DA_NIL, no longer frees it.
			if (src._type == DA_CONTAINER)
				_container = src._container;
			else
				_link = src._link;
			_type = src._type;
			src._type = DA_NIL;
			return;
		case DA_FILENAME:
			CopyFrom(src);
			break;
		default:
			// A value that owns nothing on the heap is taken by copying it; src has nothing to free.
			if (src._type == DA_VECTOR)
				new (&_vector) Vector(src._vector);
			else if (src._type == DA_REAL)
				_float = src._float;
			else
				_int = src._int;
			_type = src._type;
			src._type = DA_NIL;
			src._int = 0;
			return;
	}
	src.Clear();
}

void GeData::Clear()
{
	switch (_type)
	{
		case DA_STRING:
			_string.~String();
			break;
		case DA_FILENAME:
			_filename.~Filename();
			break;
		case DA_CONTAINER:
			delete _container;
			break;
		case DA_ALIASLINK:
			if (_link)
				BaseLink::Free(_link);
			break;
		default:
			break;
	}
	_type = DA_NIL;
	_int = 0;
}

// Integers come from either integer storage (clamped to the range); nothing else converts.
Int32 GeData::GetInt32() const
{
	if (_type != DA_LONG && _type != DA_LLONG)
		return 0;
	if (_int > Int64(INT32_MAX))
		return INT32_MAX;
	if (_int < Int64(INT32_MIN))
		return INT32_MIN;
	return Int32(_int);
}

Int64 GeData::GetInt64() const { return _type == DA_LONG || _type == DA_LLONG ? _int : 0; }

Float GeData::GetFloat() const
{
	if (_type == DA_REAL)
		return _float;
	if (_type == DA_LONG)
		return Float(_int);
	return 0.0;
}

const Vector& GeData::GetVector() const { return _type == DA_VECTOR ? _vector : ZeroVector(); }
const String& GeData::GetString() const { return _type == DA_STRING ? _string : EmptyString(); }
const Filename& GeData::GetFilename() const { return _type == DA_FILENAME ? _filename : EmptyFilename(); }
BaseContainer* GeData::GetContainer() const { return _type == DA_CONTAINER ? _container : nullptr; }
BaseLink* GeData::GetBaseLink() const { return _type == DA_ALIASLINK ? _link : nullptr; }

BaseList2D* GeData::GetLink(const BaseDocument* doc, Int32 instanceof) const
{
	return _type == DA_ALIASLINK && _link ? _link->GetLink(doc, instanceof) : nullptr;
}

Bool GeData::operator==(const GeData& b) const
{
	if (_type != b._type)
		return false;
	switch (_type)
	{
		case DA_NIL:
		case DA_VOID:
			return true;
		case DA_LONG:
		case DA_LLONG:
			return _int == b._int;
		case DA_REAL:
			return _float == b._float;
		case DA_VECTOR:
			return _vector == b._vector;
		case DA_STRING:
			return _string == b._string;
		case DA_FILENAME:
			return _filename == b._filename;
		case DA_CONTAINER:
			if (!_container || !b._container)
				return _container == b._container;
			return *_container == *b._container;
		case DA_ALIASLINK:
			return LinkTarget(_link) == LinkTarget(b._link);
		default:
			return _int == b._int;
	}
}

// ---- BaseContainer ----------------------------------------------------------------------------

// A copy made whole first: assigning entries one by one would keep the ids of the old ones.
BaseContainer& BaseContainer::operator=(const BaseContainer& src)
{
	if (this != &src)
	{
		BaseContainer copy(src);
		_id = copy._id;
		_entries.swap(copy._entries);
	}
	return *this;
}

GeData* BaseContainer::Append(Int32 id, GeData&& value)
{
	try
	{
		Grow(_entries);
		_entries.emplace_back(std::move(value));
	}
	catch (const std::bad_alloc&)
	{
		return nullptr;
	}
	_entries.back()._slot = id;
	return &_entries.back();
}

const GeData* BaseContainer::Find(Int32 id) const
{
	for (const GeData& e : _entries)
		if (e._slot == id)
			return &e;
	return nullptr;
}

Bool BaseContainer::GetBool(Int32 id, Bool preset) const
{
	const GeData* d = Find(id);
	return d && (d->GetType() == DA_LONG || d->GetType() == DA_LLONG) ? d->GetInt64() != 0 : preset;
}

Int32 BaseContainer::GetInt32(Int32 id, Int32 preset) const
{
	const GeData* d = Find(id);
	return d && (d->GetType() == DA_LONG || d->GetType() == DA_LLONG) ? d->GetInt32() : preset;
}

UInt32 BaseContainer::GetUInt32(Int32 id, UInt32 preset) const
{
	const GeData* d = Find(id);
	return d && (d->GetType() == DA_LONG || d->GetType() == DA_LLONG) ? UInt32(d->GetInt64()) : preset;
}

Int64 BaseContainer::GetInt64(Int32 id, Int64 preset) const
{
	const GeData* d = Find(id);
	return d && (d->GetType() == DA_LONG || d->GetType() == DA_LLONG) ? d->GetInt64() : preset;
}

Float BaseContainer::GetFloat(Int32 id, Float preset) const
{
	const GeData* d = Find(id);
	return d && (d->GetType() == DA_REAL || d->GetType() == DA_LONG) ? d->GetFloat() : preset;
}

Vector BaseContainer::GetVector(Int32 id, const Vector& preset) const
{
	const GeData* d = Find(id);
	return d && d->GetType() == DA_VECTOR ? d->GetVector() : preset;
}

String BaseContainer::GetString(Int32 id, const maxon::String& preset) const
{
	const GeData* d = Find(id);
	return d && d->GetType() == DA_STRING ? d->GetString() : String(preset);
}

Filename BaseContainer::GetFilename(Int32 id, const Filename& preset) const
{
	const GeData* d = Find(id);
	return d && d->GetType() == DA_FILENAME ? d->GetFilename() : preset;
}

BaseContainer BaseContainer::GetContainer(Int32 id) const
{
	const BaseContainer* bc = GetContainerInstance(id);
	return bc ? *bc : BaseContainer();
}

BaseContainer* BaseContainer::GetContainerInstance(Int32 id)
{
	const GeData* d = Find(id);
	return d ? d->GetContainer() : nullptr;
}

const BaseContainer* BaseContainer::GetContainerInstance(Int32 id) const
{
	const GeData* d = Find(id);
	return d ? d->GetContainer() : nullptr;
}

const GeData& BaseContainer::GetData(Int32 id) const
{
	static const GeData nil;
	const GeData* d = Find(id);
	return d ? *d : nil;
}

BaseList2D* BaseContainer::GetLink(Int32 id, const BaseDocument* doc, Int32 instanceof) const
{
	const GeData* d = Find(id);
	return d ? d->GetLink(doc, instanceof) : nullptr;
}

void BaseContainer::SetLink(Int32 id, C4DAtomGoal* link)
{
	BaseLink* bl = BaseLink::Alloc();
	if (!bl)
		return;
	if (link)
		bl->SetLink(link);
	SetData(id, GeData(static_cast<const BaseLink*>(bl)));
	BaseLink::Free(bl);
}


GeData* BaseContainer::SetData(Int32 id, const GeData& n)
{
	for (GeData& e : _entries)
	{
		if (e._slot == id)
		{
			e = n;
			return &e;
		}
	}
	// The value is copied before the array may move: n may be one of its entries.
	return Append(id, GeData(n));
}

GeData* BaseContainer::SetData(Int32 id, GeData&& n)
{
	for (GeData& e : _entries)
	{
		if (e._slot == id)
		{
			e = std::move(n);
			return &e;
		}
	}
	GeData taken(std::move(n));
	return Append(id, std::move(taken));
}

Bool BaseContainer::RemoveData(Int32 id)
{
	for (size_t i = 0; i < _entries.size(); ++i)
	{
		if (_entries[i]._slot != id)
			continue;
		// Each later entry moves down with its id; assigning would keep the ids where they are.
		for (; i + 1 < _entries.size(); ++i)
		{
			_entries[i].~GeData();
			new (&_entries[i]) GeData(std::move(_entries[i + 1]));
		}
		_entries.pop_back();
		return true;
	}
	return false;
}

Int32 BaseContainer::GetIndexId(Int32 index) const
{
	return index >= 0 && size_t(index) < _entries.size() ? _entries[size_t(index)]._slot : NOTOK;
}

const GeData* BaseContainer::GetIndexData(Int32 index) const
{
	return index >= 0 && size_t(index) < _entries.size() ? &_entries[size_t(index)] : nullptr;
}

// Entries compare by id and value in any order; the container's own id does not count.
Bool BaseContainer::operator==(const BaseContainer& b) const
{
	if (_entries.size() != b._entries.size())
		return false;
	for (const GeData& e : _entries)
	{
		const GeData* other = b.Find(e._slot);
		if (!other || *other != e)
			return false;
	}
	return true;
}
