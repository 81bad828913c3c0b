// Registered object plug-ins and the creation of their host objects.
#include <new>

#include "node.h"

namespace vh
{
namespace
{
std::vector<ObjectPlugin>& Registry()
{
	static std::vector<ObjectPlugin> plugins;
	return plugins;
}
} // namespace

Bool RegisterObjectPluginHost(Int32 id, const String& name, Int32 info, DataAllocator* g, const String& description,
	BaseBitmap* icon, Int32 disklevel, LocalResource* lr)
{
	if (id <= 0 || !g || name.IsEmpty() || FindObjectPlugin(id))
		return false;
	ObjectPlugin p;
	p.id = id;
	p.name = name;
	p.info = info;
	p.allocator = g;
	p.description = description;
	p.disklevel = disklevel;
	p.resource = lr;
	if (icon)
	{
		p.iconWidth = icon->GetBw();
		p.iconHeight = icon->GetBh();
	}
	try
	{
		Registry().push_back(p);
	}
	catch (const std::bad_alloc&)
	{
		return false;
	}
	return true;
}

const ObjectPlugin* FindObjectPlugin(Int32 id)
{
	for (const ObjectPlugin& p : Registry())
		if (p.id == id)
			return &p;
	return nullptr;
}

const std::vector<ObjectPlugin>& ObjectPlugins()
{
	return Registry();
}

void UnregisterAllPlugins()
{
	Registry().clear();
}

BaseObject* AllocPluginObject(Int32 id, Bool* initOk)
{
	if (initOk)
		*initOk = false;
	const ObjectPlugin* p = FindObjectPlugin(id);
	if (!p)
		return nullptr;
	BaseObject* op = NewObjectNode(NodeClass::OBJECT, id);
	Node* n = Access::Of(op);
	if (!n)
		return nullptr;
	n->name = p->name;
	NodeData* nd = p->allocator();
	if (!nd)
	{
		Access::Destroy(op);
		return nullptr;
	}
	nd->_node = op;
	n->nodeData = nd;
	Bool ok = nd->Init(op);
	if (initOk)
		*initOk = ok;
	return op;
}
} // namespace vh
