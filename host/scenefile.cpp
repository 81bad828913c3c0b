// Scene files: materials, the object tree and the plug-in data blocks, in HyperFile framing.
#include <new>
#include <string>
#include <unordered_map>

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
		hf->WriteInt32(n->colorProps.usecolor) && hf->WriteVector(n->colorProps.color) &&
		hf->WriteBool(n->colorProps.xray) && hf->WriteInt64(n->linkId);

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
			hf->WriteInt64(t->linkId) && hf->WriteInt64(t->materialLink);

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
	HyperFile* hf = nullptr;
	BaseDocument* doc = nullptr;
	std::unordered_map<Int64, Int64> ids; // stored link id -> id of the loaded node
	std::vector<Node*> loaded; // every loaded object, tag and material, for the link remapping
};

void Remember(Loader& ld, Int64 storedId, Node* n)
{
	ld.ids[storedId] = n->linkId;
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

// Reads one object record; with parent nullptr it is parsed and dropped (plug-in not registered).
Bool ReadObject(Loader& ld, Node* parent, Int32 depth)
{
	HyperFile* hf = ld.hf;
	Int32 type = 0, cls = 0, usecolor = 0, splineType = 0, count = 0;
	String name;
	BaseContainer data;
	Vector pos, color;
	Bool colorSet = false, xray = false, plugin = false;
	Int64 linkId = 0;
	if (!hf->ReadInt32(&type) || !hf->ReadInt32(&cls) || !hf->ReadString(&name) || !hf->ReadContainer(&data, true) ||
		!hf->ReadVector(&pos) || !hf->ReadBool(&colorSet) || !hf->ReadInt32(&usecolor) || !hf->ReadVector(&color) ||
		!hf->ReadBool(&xray) || !hf->ReadInt64(&linkId))
		return false;
	NodeClass nc = NodeClass(cls);
	if (nc != NodeClass::OBJECT && nc != NodeClass::POLYGON && nc != NodeClass::SPLINE)
		return false;

	std::vector<Vector> points;
	std::vector<Tangent> tangents;
	std::vector<CPolygon> polygons;
	if (!hf->ReadInt32(&splineType) || splineType < 0 || splineType > Int32(SPLINETYPE::RESERVEDSPLINETYPE2) ||
		!hf->ReadInt32(&count) || count < 0)
		return false;
	for (Int32 i = 0; i < count; ++i)
	{
		Vector v;
		if (!hf->ReadVector(&v))
			return false;
		points.push_back(v);
	}
	if (!hf->ReadInt32(&count) || count < 0)
		return false;
	for (Int32 i = 0; i < count; ++i)
	{
		Tangent t;
		if (!hf->ReadVector(&t.vl) || !hf->ReadVector(&t.vr))
			return false;
		tangents.push_back(t);
	}
	if (!hf->ReadInt32(&count) || count < 0)
		return false;
	for (Int32 i = 0; i < count; ++i)
	{
		CPolygon p;
		if (!hf->ReadInt32(&p.a) || !hf->ReadInt32(&p.b) || !hf->ReadInt32(&p.c) || !hf->ReadInt32(&p.d))
			return false;
		polygons.push_back(p);
	}

	std::vector<TagRecord> tags;
	if (!hf->ReadInt32(&count) || count < 0)
		return false;
	for (Int32 i = 0; i < count; ++i)
	{
		TagRecord t;
		if (!hf->ReadInt32(&t.type) || !hf->ReadString(&t.name) || !hf->ReadContainer(&t.data, true) ||
			!hf->ReadInt64(&t.linkId) || !hf->ReadInt64(&t.materialLink))
			return false;
		tags.push_back(t);
	}

	Int32 level = 0;
	std::vector<unsigned char> block;
	if (!hf->ReadBool(&plugin))
		return false;
	if (plugin && (!hf->ReadInt32(&level) || !ReadBlock(hf, block)))
		return false;

	Node* n = nullptr;
	if (parent)
	{
		BaseObject* op = nullptr;
		if (FindObjectPlugin(type))
		{
			op = AllocPluginObject(type);
			if (!op)
				return false;
		}
		else if (plugin)
		{
			ApplicationOutput(String("Scene: the plug-in ") + FromUtf8(std::to_string(type)) + String(" of object \"") +
				name + String("\" is not registered; the object and its children are skipped."));
		}
		else
		{
			op = NewObjectNode(nc, type);
			if (!op)
				return false;
		}
		n = Access::Of(op);
	}
	if (n)
	{
		// In the tree at once, so that a failure further on frees it with the document.
		static_cast<GeListNode*>(n->atom)->InsertUnderLast(static_cast<GeListNode*>(parent->atom));
		n->data = data;
		n->name = name;
		n->relPos = pos;
		n->colorPropsSet = colorSet;
		n->colorProps.usecolor = usecolor;
		n->colorProps.color = color;
		n->colorProps.xray = xray;
		n->splineType = SPLINETYPE(splineType);
		n->points = std::move(points);
		n->tangents = std::move(tangents);
		n->polygons = std::move(polygons);
		Remember(ld, linkId, n);
		BaseObject* op = static_cast<BaseObject*>(n->atom);
		for (TagRecord& t : tags)
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
		if (plugin && n->nodeData)
		{
			// Read sees only its own block: reading past it fails instead of consuming the next object.
			HyperFile* sub = OpenMemoryHyperFile(&block, false, ld.doc);
			if (!sub)
				return false;
			Bool ok = n->nodeData->Read(static_cast<GeListNode*>(n->atom), sub, level);
			sub->Close();
			HyperFile::Free(sub);
			if (!ok)
				return false;
		}
	}
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
	if (!hf->ReadInt32(&version) || version < 1 || version > SCENE_VERSION || !hf->ReadString(&docName) ||
		!hf->ReadInt32(&count) || count < 0)
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
		ld.doc->InsertMaterial(mat, static_cast<BaseMaterial*>(d->lastMaterial ? d->lastMaterial->atom : nullptr));
		m->name = name;
		m->data = data;
		Remember(ld, linkId, m);
	}
	if (!ReadObjectList(ld, d, 0))
		return false;
	for (Node* n : ld.loaded)
	{
		RemapContainer(n->data, ld.ids);
		if (n->materialLink)
		{
			auto it = ld.ids.find(n->materialLink);
			n->materialLink = it == ld.ids.end() ? 0 : it->second;
		}
	}
	return true;
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
		ok = ok && hf->WriteInt32(SCENE_VERSION) && hf->WriteString(d->name) && hf->WriteInt32(CountList(d->firstMaterial));
		for (Node* m = d->firstMaterial; ok && m; m = m->next)
			ok = hf->WriteInt32(m->type) && hf->WriteString(m->name) && hf->WriteContainer(m->data) &&
				hf->WriteInt64(m->linkId);
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

BaseDocument* LoadDocument(const Filename& file)
{
	HyperFile* hf = HyperFile::Alloc();
	if (!hf)
		return nullptr;
	BaseDocument* doc = nullptr;
	Bool ok = false;
	try
	{
		if (hf->Open(SCENE_IDENT, file, FILEOPEN::READ, FILEDIALOG::NONE))
		{
			doc = BaseDocument::Alloc();
			if (doc)
			{
				Loader ld;
				ld.hf = hf;
				ld.doc = doc;
				ok = LoadInto(ld);
			}
			hf->Close();
		}
	}
	catch (const std::bad_alloc&)
	{
		ok = false;
	}
	HyperFile::Free(hf);
	if (!ok)
	{
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
} // namespace vh
