// Scene files: materials, the object tree and the plug-in data blocks, in HyperFile framing.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "internal.h"
#include "node.h"
#include "vh/hyperfile.h"

namespace vh
{
namespace
{
constexpr Int32 SCENE_IDENT = 0x56485344; // 'VHSD'
constexpr Int32 SCENE_VERSION = 1;
// Deeper object nesting is garbage, not a scene; the limit keeps recursion off the end of the stack.
constexpr Int32 MAX_DEPTH = 512;

// ---- plug-in data blocks ---------------------------------------------------------------------
// A block is the bytes NodeData::Write produced on a memory stream: its length, then the bytes
// packed little-endian into Int64 words, so that the reader can hand Read exactly that block.

Bool WriteBlock(HyperFile* hf, const std::vector<unsigned char>& bytes)
{
	if (!hf->WriteInt64(Int64(bytes.size())))
		return false;
	for (size_t i = 0; i < bytes.size(); i += 8)
	{
		UInt64 w = 0;
		for (size_t k = 0; k < 8 && i + k < bytes.size(); ++k)
			w |= UInt64(bytes[i + k]) << (8 * k);
		if (!hf->WriteInt64(Int64(w)))
			return false;
	}
	return true;
}

Bool ReadBlock(HyperFile* hf, std::vector<unsigned char>& bytes)
{
	Int64 size = 0;
	if (!hf->ReadInt64(&size) || size < 0)
		return false;
	bytes.clear();
	for (Int64 i = 0; i < size; i += 8)
	{
		Int64 w = 0;
		if (!hf->ReadInt64(&w))
			return false;
		for (Int64 k = 0; k < 8 && i + k < size; ++k)
			bytes.push_back(static_cast<unsigned char>(UInt64(w) >> (8 * k)));
	}
	return true;
}

// ---- saving ----------------------------------------------------------------------------------

Int32 CountList(const Node* first)
{
	Int32 n = 0;
	for (const Node* p = first; p; p = p->next)
		++n;
	return n;
}

Bool WriteObjectList(HyperFile* hf, Node* first, BaseDocument* doc);

Bool WriteObject(HyperFile* hf, Node* n, BaseDocument* doc)
{
	Bool ok = hf->WriteInt32(n->type) && hf->WriteInt32(Int32(n->cls)) && hf->WriteString(n->name) &&
		hf->WriteContainer(n->data) && hf->WriteVector(n->relPos) && hf->WriteBool(n->colorPropsSet) &&
		hf->WriteInt32(n->colorMode) && hf->WriteVector(n->color) &&
		hf->WriteBool(n->xray) && hf->WriteInt64(LinkId(n));

	ok = ok && hf->WriteInt32(Int32(n->splineType)) && hf->WriteInt32(Int32(n->points.size()));
	for (size_t i = 0; ok && i < n->points.size(); ++i)
		ok = hf->WriteVector(n->points[i]);
	ok = ok && hf->WriteInt32(Int32(n->tangents.size()));
	for (size_t i = 0; ok && i < n->tangents.size(); ++i)
		ok = hf->WriteVector(n->tangents[i].vl) && hf->WriteVector(n->tangents[i].vr);
	ok = ok && hf->WriteInt32(Int32(n->polygons.size()));
	for (size_t i = 0; ok && i < n->polygons.size(); ++i)
	{
		const CPolygon& p = n->polygons[i];
		ok = hf->WriteInt32(p.a) && hf->WriteInt32(p.b) && hf->WriteInt32(p.c) && hf->WriteInt32(p.d);
	}

	ok = ok && hf->WriteInt32(CountList(n->firstTag));
	for (Node* t = n->firstTag; ok && t; t = t->next)
		ok = hf->WriteInt32(t->type) && hf->WriteString(t->name) && hf->WriteContainer(t->data) &&
			hf->WriteInt64(LinkId(t)) && hf->WriteInt64(t->materialLink);

	ok = ok && hf->WriteBool(n->nodeData != nullptr);
	if (ok && n->nodeData)
	{
		const ObjectPlugin* p = FindObjectPlugin(n->type);
		std::vector<unsigned char> block;
		HyperFile* sub = OpenMemoryHyperFile(&block, true, doc);
		if (!sub)
			return false;
		ok = n->nodeData->Write(static_cast<GeListNode*>(n->atom), sub);
		ok = sub->Close() && ok;
		HyperFile::Free(sub);
		ok = ok && hf->WriteInt32(p ? p->disklevel : 0) && WriteBlock(hf, block);
	}
	return ok && WriteObjectList(hf, n->firstChild, doc);
}

Bool WriteObjectList(HyperFile* hf, Node* first, BaseDocument* doc)
{
	if (!hf->WriteInt32(CountList(first)))
		return false;
	for (Node* n = first; n; n = n->next)
		if (!WriteObject(hf, n, doc))
			return false;
	return true;
}

// ---- loading ---------------------------------------------------------------------------------

struct Loader
{
	std::string reason; // set where the file says more than "damaged"
	HyperFile* hf = nullptr;
	BaseDocument* doc = nullptr;
	std::unordered_map<Int64, Int64> ids; // stored link id -> id of the loaded node
	std::vector<Node*> loaded; // every loaded object, tag and material, for the link remapping
};

void Remember(Loader& ld, Int64 storedId, Node* n)
{
	ld.ids[storedId] = LinkId(n);
	ld.loaded.push_back(n);
}

Bool ReadObjectList(Loader& ld, Node* parent, Int32 depth);

struct TagRecord
{
	Int32 type = 0;
	String name;
	BaseContainer data;
	Int64 linkId = 0;
	Int64 materialLink = 0;
};

// One object as the file holds it, before anything is made of it.
struct ObjectRecord
{
	Int32 type = 0;
	NodeClass cls = NodeClass::OBJECT;
	String name;
	BaseContainer data;
	Vector pos, color;
	Bool colorSet = false, xray = false;
	Int32 usecolor = 0;
	Int64 linkId = 0;
	Int32 splineType = 0;
	std::vector<Vector> points;
	std::vector<Tangent> tangents;
	std::vector<CPolygon> polygons;
	std::vector<TagRecord> tags;
	Bool plugin = false; // a plug-in data block follows
	Int32 level = 0;
	std::vector<unsigned char> block;
};

// A count and that many items, each read by readItem.
template <typename T, typename ReadItem>
Bool ReadCounted(HyperFile* hf, std::vector<T>& out, ReadItem readItem)
{
	Int32 count = 0;
	if (!hf->ReadInt32(&count) || count < 0)
		return false;
	for (Int32 i = 0; i < count; ++i)
	{
		T item;
		if (!readItem(item))
			return false;
		out.push_back(item);
	}
	return true;
}

Bool ReadObjectHeader(HyperFile* hf, ObjectRecord& r)
{
	Int32 cls = 0;
	if (!hf->ReadInt32(&r.type) || !hf->ReadInt32(&cls) || !hf->ReadString(&r.name) || !hf->ReadContainer(&r.data, true) ||
		!hf->ReadVector(&r.pos) || !hf->ReadBool(&r.colorSet) || !hf->ReadInt32(&r.usecolor) || !hf->ReadVector(&r.color) ||
		!hf->ReadBool(&r.xray) || !hf->ReadInt64(&r.linkId))
		return false;
	r.cls = NodeClass(cls);
	return r.cls == NodeClass::OBJECT || r.cls == NodeClass::POLYGON || r.cls == NodeClass::SPLINE;
}

Bool ReadGeometry(HyperFile* hf, ObjectRecord& r)
{
	if (!hf->ReadInt32(&r.splineType) || r.splineType < 0 || r.splineType > Int32(SPLINETYPE::RESERVEDSPLINETYPE2))
		return false;
	return ReadCounted(hf, r.points, [hf](Vector& v) { return hf->ReadVector(&v); }) &&
		ReadCounted(hf, r.tangents, [hf](Tangent& t) { return hf->ReadVector(&t.vl) && hf->ReadVector(&t.vr); }) &&
		ReadCounted(hf, r.polygons, [hf](CPolygon& p) {
			return hf->ReadInt32(&p.a) && hf->ReadInt32(&p.b) && hf->ReadInt32(&p.c) && hf->ReadInt32(&p.d);
		});
}

// A file can hold any bits: a coordinate or colour component that is no finite number reads as
// 0, as the attribute panel would never let it through and a viewer cannot place it.
void HoldFinite(Vector& v)
{
	for (Float* c : {&v.x, &v.y, &v.z})
		if (!std::isfinite(*c))
			*c = 0.0;
}

void HoldFinite(ObjectRecord& r)
{
	HoldFinite(r.pos);
	HoldFinite(r.color);
	for (Vector& p : r.points)
		HoldFinite(p);
	for (Tangent& t : r.tangents)
	{
		HoldFinite(t.vl);
		HoldFinite(t.vr);
	}
}

Bool ReadObjectRecord(HyperFile* hf, ObjectRecord& r)
{
	if (!ReadObjectHeader(hf, r) || !ReadGeometry(hf, r))
		return false;
	HoldFinite(r);
	if (!ReadCounted(hf, r.tags, [hf](TagRecord& t) {
			return hf->ReadInt32(&t.type) && hf->ReadString(&t.name) && hf->ReadContainer(&t.data, true) &&
				hf->ReadInt64(&t.linkId) && hf->ReadInt64(&t.materialLink);
		}))
		return false;
	if (!hf->ReadBool(&r.plugin))
		return false;
	return !r.plugin || (hf->ReadInt32(&r.level) && ReadBlock(hf, r.block));
}

// The object a record makes: nullptr (with ok still true) for the object of a plug-in that is
// not registered, which is skipped with its children.
Node* MakeObject(const ObjectRecord& r, Bool& ok)
{
	BaseObject* op = nullptr;
	if (FindObjectPlugin(r.type))
		op = AllocPluginObject(r.type);
	else if (r.plugin)
	{
		ApplicationOutput(String("Scene: the plug-in ") + FromUtf8(std::to_string(r.type)) + String(" of object \"") +
			r.name + String("\" is not registered; the object and its children are skipped."));
		return nullptr;
	}
	else
		op = NewObjectNode(r.cls, r.type);
	ok = op != nullptr;
	return Access::Of(op);
}

// Puts the record's state, tags and plug-in data into n, which goes under parent at once, so
// that a failure further on frees it with the document.
Bool FillObject(Loader& ld, ObjectRecord& r, Node* n, Node* parent)
{
	static_cast<GeListNode*>(n->atom)->InsertUnderLast(static_cast<GeListNode*>(parent->atom));
	n->data = r.data;
	n->name = r.name;
	n->relPos = r.pos;
	n->colorPropsSet = r.colorSet;
	n->colorMode = r.usecolor;
	n->color = r.color;
	n->xray = r.xray;
	n->splineType = SPLINETYPE(r.splineType);
	n->points = std::move(r.points);
	n->tangents = std::move(r.tangents);
	n->polygons = std::move(r.polygons);
	Remember(ld, r.linkId, n);
	BaseObject* op = static_cast<BaseObject*>(n->atom);
	for (TagRecord& t : r.tags)
	{
		BaseTag* tag = BaseTag::Alloc(t.type);
		Node* tn = Access::Of(tag);
		if (!tn)
			return false;
		op->InsertTag(tag, static_cast<BaseTag*>(n->lastTag ? n->lastTag->atom : nullptr));
		tn->name = t.name;
		tn->data = t.data;
		tn->materialLink = t.materialLink;
		Remember(ld, t.linkId, tn);
	}
	if (!r.plugin || !n->nodeData)
		return true;
	// Read sees only its own block: reading past it fails instead of consuming the next object.
	HyperFile* sub = OpenMemoryHyperFile(&r.block, false, ld.doc);
	if (!sub)
		return false;
	Bool ok = n->nodeData->Read(static_cast<GeListNode*>(n->atom), sub, r.level);
	sub->Close();
	HyperFile::Free(sub);
	return ok;
}

// Reads one object record; with parent nullptr it is parsed and dropped (plug-in not registered).
Bool ReadObject(Loader& ld, Node* parent, Int32 depth)
{
	ObjectRecord r;
	if (!ReadObjectRecord(ld.hf, r))
		return false;
	Node* n = nullptr;
	if (parent)
	{
		Bool ok = true;
		n = MakeObject(r, ok);
		if (!ok)
			return false;
	}
	if (n && !FillObject(ld, r, n, parent))
		return false;
	return ReadObjectList(ld, n, depth + 1);
}

Bool ReadObjectList(Loader& ld, Node* parent, Int32 depth)
{
	Int32 count = 0;
	if (depth > MAX_DEPTH || !ld.hf->ReadInt32(&count) || count < 0)
		return false;
	for (Int32 i = 0; i < count; ++i)
		if (!ReadObject(ld, parent, depth))
			return false;
	return true;
}

void RemapContainer(BaseContainer& bc, const std::unordered_map<Int64, Int64>& ids)
{
	for (Int32 i = 0; i < bc.GetCount(); ++i)
	{
		Int32 id = bc.GetIndexId(i);
		const GeData* d = bc.GetIndexData(i);
		if (!d)
			continue;
		if (d->GetType() == DA_CONTAINER)
		{
			if (BaseContainer* sub = bc.GetContainerInstance(id))
				RemapContainer(*sub, ids);
		}
		else if (BaseLink* link = d->GetBaseLink())
		{
			// Links to what the file does not hold point nowhere, not to some object of this process.
			auto it = ids.find(link->_target);
			link->_target = it == ids.end() ? 0 : it->second;
		}
	}
}

Bool LoadInto(Loader& ld)
{
	HyperFile* hf = ld.hf;
	Node* d = Access::Of(ld.doc);
	Int32 version = 0, count = 0;
	String docName;
	if (hf->ReadInt32(&version) && (version < 1 || version > SCENE_VERSION))
	{
		ld.reason = "unsupported scene version " + std::to_string(version) + " (this host reads 1 to " +
			std::to_string(SCENE_VERSION) + ")";
		return false;
	}
	if (version == 0 || !hf->ReadString(&docName) || !hf->ReadInt32(&count) || count < 0)
		return false;
	d->name = docName;
	for (Int32 i = 0; i < count; ++i)
	{
		Int32 type = 0;
		String name;
		BaseContainer data;
		Int64 linkId = 0;
		if (!hf->ReadInt32(&type) || !hf->ReadString(&name) || !hf->ReadContainer(&data, true) || !hf->ReadInt64(&linkId))
			return false;
		BaseMaterial* mat = BaseMaterial::Alloc(type);
		Node* m = Access::Of(mat);
		if (!m)
			return false;
		ld.doc->InsertMaterial(mat, static_cast<BaseMaterial*>(d->LastMaterial() ? d->LastMaterial()->atom : nullptr));
		m->name = name;
		m->data = data;
		Remember(ld, linkId, m);
	}
	if (!ReadObjectList(ld, d, 0))
		return false;
	for (Node* n : ld.loaded)
	{
		RemapContainer(n->data, ld.ids);
		// A file can hold any number; the object gets only what its attribute panel would let through.
		if (n->nodeData)
			HoldToDescription(n->type, n->data);
		if (n->materialLink)
		{
			auto it = ld.ids.find(n->materialLink);
			n->materialLink = it == ld.ids.end() ? 0 : it->second;
		}
	}
	return true;
}
// Why reading stopped: the loader's own reason, or where the framing failed.
std::string FailureReason(const Loader& ld)
{
	if (!ld.reason.empty())
		return ld.reason;
	const HyperFileState* s = ld.hf->_state;
	if (s && s->truncated)
		return "truncated at byte " + std::to_string(s->memory ? s->memory->size() : s->data.size());
	return "damaged at byte " + std::to_string(s ? s->pos : 0);
}

// The first bytes of a scene file: magic, framing version and ident.
constexpr size_t SCENE_HEADER_BYTES = 12;

// What the first n bytes of a file tell; false with the reason when they are no scene's.
Bool CheckSceneHeader(const unsigned char* head, size_t n, std::string& reason)
{
	const auto word = [&](size_t at) {
		return Int32(UInt32(head[at]) | UInt32(head[at + 1]) << 8 | UInt32(head[at + 2]) << 16 | UInt32(head[at + 3]) << 24);
	};
	// An empty file may come without a buffer at all; it is only too short.
	const size_t magic = std::min(n, sizeof kHyperMagic);
	if (magic > 0 && std::memcmp(head, kHyperMagic, magic) != 0)
		reason = "bad magic (not a scene file)";
	else if (n < SCENE_HEADER_BYTES)
		reason = "truncated at byte " + std::to_string(n);
	else if (word(4) < 1 || word(4) > kHyperVersion)
		reason = "unsupported version " + std::to_string(word(4)) + " (this host reads 1 to " + std::to_string(kHyperVersion) + ")";
	else if (word(8) != SCENE_IDENT)
		reason = "not a scene file (a file of another kind in the same framing)";
	return reason.empty();
}

// Reads the scene after its header into a new document, which the caller frees on failure.
Bool ReadScene(HyperFile* hf, BaseDocument*& doc, std::string& reason)
{
	doc = BaseDocument::Alloc();
	if (!doc)
		return false;
	Loader ld;
	ld.hf = hf;
	ld.doc = doc;
	if (LoadInto(ld))
		return true;
	reason = FailureReason(ld);
	return false;
}

// The read document, told that it was loaded from file; nullptr (doc freed, *error set) on failure.
BaseDocument* Finish(BaseDocument* doc, Bool ok, const Filename& file, const std::string& reason, std::string* error)
{
	if (!ok)
	{
		if (error)
			*error = reason;
		BaseDocument::Free(doc);
		return nullptr;
	}
	DocumentInfoData info;
	info.type = MSG_DOCUMENTINFO_TYPE_LOAD;
	info.doc = doc;
	info.filename = file;
	BroadcastMessage(doc, MSG_DOCUMENTINFO, &info);
	return doc;
}
} // namespace

Bool SaveDocument(BaseDocument* doc, const Filename& file)
{
	Node* d = Access::Of(doc);
	if (!d)
		return false;
	HyperFile* hf = HyperFile::Alloc();
	if (!hf)
		return false;
	Bool ok = false;
	try
	{
		ok = hf->Open(SCENE_IDENT, file, FILEOPEN::WRITE, FILEDIALOG::NONE);
		ok = ok && hf->WriteInt32(SCENE_VERSION) && hf->WriteString(d->name) && hf->WriteInt32(CountList(d->FirstMaterial()));
		for (Node* m = d->FirstMaterial(); ok && m; m = m->next)
			ok = hf->WriteInt32(m->type) && hf->WriteString(m->name) && hf->WriteContainer(m->data) &&
				hf->WriteInt64(LinkId(m));
		ok = ok && WriteObjectList(hf, d->firstChild, doc);
		// Only a complete scene replaces the file; Free without Close discards the temporary.
		ok = ok && hf->Close();
	}
	catch (const std::bad_alloc&)
	{
		ok = false;
	}
	HyperFile::Free(hf);
	return ok;
}

Bool ReadFileCapped(const std::string& path, Int64 limit, std::vector<unsigned char>& bytes, std::string& reason)
{
	bytes.clear();
	reason.clear();
	const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
	if (fd < 0)
	{
		reason = std::strerror(errno);
		return false;
	}
	struct stat info;
	Bool ok = ::fstat(fd, &info) == 0;
	if (!ok)
		reason = std::strerror(errno);
	else if (!S_ISREG(info.st_mode))
		reason = "not a regular file";
	else if (info.st_size > limit)
		reason = std::to_string(info.st_size) + " bytes, over the limit of " + std::to_string(limit) + " bytes";
	ok = ok && reason.empty();
	// The size seen here may be stale (the file grows, or says 0 as /proc files do): the read itself
	// stops one byte past the limit.
	try
	{
		if (ok)
			bytes.reserve(size_t(std::min<Int64>(info.st_size, limit) + 1));
		unsigned char buffer[65536];
		while (ok && Int64(bytes.size()) <= limit)
		{
			const size_t want = size_t(std::min<Int64>(Int64(sizeof buffer), limit + 1 - Int64(bytes.size())));
			const ssize_t n = ::read(fd, buffer, want);
			if (n < 0 && errno == EINTR)
				continue;
			if (n < 0)
			{
				reason = std::strerror(errno);
				ok = false;
			}
			if (n <= 0)
				break;
			bytes.insert(bytes.end(), buffer, buffer + n);
		}
	}
	catch (const std::bad_alloc&)
	{
		reason = "out of memory";
		ok = false;
	}
	::close(fd);
	if (ok && Int64(bytes.size()) > limit)
	{
		reason = "more than " + std::to_string(limit) + " bytes, over the limit of " + std::to_string(limit) + " bytes";
		ok = false;
	}
	return ok;
}

BaseDocument* LoadDocument(const Filename& file, std::string* error)
{
	std::vector<unsigned char> bytes;
	std::string reason;
	if (!ReadFileCapped(ToUtf8(file.GetString()), SCENE_FILE_LIMIT, bytes, reason))
		return Finish(nullptr, false, file, reason, error);
	return LoadDocumentBytes(bytes, file, error);
}

BaseDocument* LoadDocumentBytes(const std::vector<unsigned char>& bytes, const Filename& file, std::string* error)
{
	std::string reason;
	if (Int64(bytes.size()) > SCENE_FILE_LIMIT)
		reason = std::to_string(bytes.size()) + " bytes, over the limit of " + std::to_string(SCENE_FILE_LIMIT) + " bytes";
	if (!reason.empty() || !CheckSceneHeader(bytes.data(), bytes.size(), reason))
		return Finish(nullptr, false, file, reason, error);
	BaseDocument* doc = nullptr;
	Bool ok = false;
	reason = "out of memory";
	std::vector<unsigned char> data;
	HyperFile* hf = nullptr;
	try
	{
		data = bytes;
		hf = OpenMemoryHyperFile(&data, false);
		if (hf)
		{
			hf->_state->pos = SCENE_HEADER_BYTES;
			ok = ReadScene(hf, doc, reason);
			hf->Close();
		}
	}
	catch (const std::bad_alloc&)
	{
		ok = false;
		reason = "out of memory";
	}
	HyperFile::Free(hf);
	return Finish(doc, ok, file, reason, error);
}
} // namespace vh
