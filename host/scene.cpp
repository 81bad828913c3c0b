// The SDK's tag, material and document classes.
#include <mutex>
#include <new>

#include "node.h"

using vh::Access;
using vh::N;
using vh::Node;
using vh::NodeClass;

// ---- tags -----------------------------------------------------------------------------------

BaseTag* BaseTag::Alloc(Int32 type)
{
	return vh::NewTag(type);
}

void BaseTag::Free(BaseTag*& bl)
{
	vh::FreeAtom(bl);
}

BaseTag* BaseTag::GetNext()
{
	return vh::Linked<BaseTag>(this, &Node::next);
}

BaseTag* BaseTag::GetPred()
{
	return vh::Linked<BaseTag>(this, &Node::pred);
}

BaseObject* BaseTag::GetObject()
{
	return vh::Linked<BaseObject>(this, &Node::tagOwner);
}

TextureTag* TextureTag::Alloc()
{
	return static_cast<TextureTag*>(vh::NewTag(Ttexture));
}

void TextureTag::Free(TextureTag*& bl)
{
	vh::FreeAtom(bl);
}

BaseMaterial* TextureTag::GetMaterial(Bool ignoredoc)
{
	Node* n = N(this);
	Node* m = n ? vh::NodeByLinkId(n->materialLink) : nullptr;
	if (!m || m->cls != NodeClass::MATERIAL)
		return nullptr;
	if (!ignoredoc && n->document && m->document != n->document)
		return nullptr;
	return static_cast<BaseMaterial*>(m->atom);
}

void TextureTag::SetMaterial(BaseMaterial* mat)
{
	Node* n = N(this);
	if (!n)
		return;
	Node* m = N(mat);
	n->materialLink = vh::LinkId(m);
	++n->dirtyData;
}

// ---- materials ------------------------------------------------------------------------------

BaseMaterial* BaseMaterial::Alloc(Int32 type)
{
	BaseMaterial* mat = static_cast<BaseMaterial*>(Access::Create(NodeClass::MATERIAL, type));
	Node* n = N(mat);
	if (!n)
		return nullptr;
	n->name = vh::DefaultName(type);
	try
	{
		n->data.SetVector(MATERIAL_COLOR_COLOR, Vector(0.8, 0.8, 0.8));
	}
	catch (const std::bad_alloc&)
	{
		Access::Destroy(mat);
		return nullptr;
	}
	return mat;
}

void BaseMaterial::Free(BaseMaterial*& bl)
{
	vh::FreeAtom(bl);
}

// ---- documents ------------------------------------------------------------------------------

BaseDocument* BaseDocument::Alloc()
{
	BaseDocument* doc = static_cast<BaseDocument*>(Access::Create(NodeClass::DOCUMENT, vh::DOCUMENT_TYPE));
	if (doc)
		N(doc)->name = String("Untitled");
	return doc;
}

void BaseDocument::Free(BaseDocument*& doc)
{
	vh::FreeAtom(doc);
}

BaseObject* BaseDocument::GetFirstObject()
{
	return vh::Linked<BaseObject>(this, &Node::firstChild);
}

BaseMaterial* BaseDocument::GetFirstMaterial()
{
	const Node* n = N(this);
	return n ? vh::As<BaseMaterial>(n->FirstMaterial()) : nullptr;
}

void BaseDocument::InsertObject(BaseObject* op, BaseObject* parent, BaseObject* pred)
{
	Node* n = N(op);
	Node* self = N(this);
	if (!n || !self)
		return;
	Node* p = N(pred);
	Node* up = N(parent);
	if (p && p->document == static_cast<BaseDocument*>(this))
		vh::InsertBeside(n, p, true);
	else if (up && up->document == static_cast<BaseDocument*>(this))
		vh::InsertUnderImpl(n, up, false);
	else
		vh::InsertUnderImpl(n, self, false);
}

void BaseDocument::InsertMaterial(BaseMaterial* mat, BaseMaterial* pred)
{
	Node* n = N(mat);
	Node* self = N(this);
	if (!n || !self)
		return;
	Node* p = N(pred);
	if (p && p->parent == self && p->cls == NodeClass::MATERIAL)
		vh::InsertBeside(n, p, true);
	else
		vh::InsertUnderImpl(n, self, false);
}

BaseDocument* GetActiveDocument()
{
	static BaseDocument* active = nullptr;
	static std::mutex mutex;
	std::lock_guard<std::mutex> lock(mutex);
	if (!active)
		active = BaseDocument::Alloc();
	return active;
}

