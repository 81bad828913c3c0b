// Document evaluation (execution pass, generators), message broadcast and the host's copy command.
#include <algorithm>
#include <new>

#include "node.h"

namespace vh
{
namespace
{
ObjectData* PluginData(Node* n, Int32 flag)
{
	if (!n || !n->nodeData)
		return nullptr;
	const ObjectPlugin* p = FindObjectPlugin(n->type);
	if (!p || !(p->info & flag))
		return nullptr;
	// Only object plug-ins register here, so their data is an ObjectData.
	return static_cast<ObjectData*>(n->nodeData);
}

Bool ObjectsOf(BaseDocument* doc, std::vector<Node*>& out)
{
	Node* d = Access::Of(doc);
	if (!d)
		return false;
	try
	{
		CollectObjects(d->firstChild, out);
	}
	catch (const std::bad_alloc&)
	{
		return false;
	}
	return true;
}

// Link ids of the document's objects: a pass that calls plug-ins looks each one up again, since
// a plug-in may change the tree under it.
Bool ObjectIdsOf(BaseDocument* doc, std::vector<Int64>& ids)
{
	std::vector<Node*> objects;
	if (!ObjectsOf(doc, objects))
		return false;
	try
	{
		for (Node* n : objects)
			ids.push_back(LinkId(n));
	}
	catch (const std::bad_alloc&)
	{
		return false;
	}
	return true;
}

void ExecutionPass(BaseDocument* doc, BaseThread* thread)
{
	std::vector<Node*> objects;
	if (!ObjectsOf(doc, objects))
		return;
	PriorityState state;
	PriorityList* list = Access::New<PriorityList>();
	if (!list)
		return;
	list->_state = &state;
	for (Node* n : objects)
		if (ObjectData* od = PluginData(n, OBJECT_CALL_ADDEXECUTION))
			od->AddToExecution(static_cast<BaseObject*>(n->atom), list);
	list->_state = nullptr;
	Access::Delete(list);

	std::stable_sort(state.entries.begin(), state.entries.end(),
		[](const PriorityEntry& a, const PriorityEntry& b) { return a.priority < b.priority; });
	std::vector<Int64> ids;
	try
	{
		for (const PriorityEntry& e : state.entries)
			ids.push_back(LinkId(Access::Of(e.node)));
	}
	catch (const std::bad_alloc&)
	{
		return;
	}
	for (size_t i = 0; i < state.entries.size(); ++i)
	{
		// An earlier Execute may have freed or moved a recorded node.
		Node* n = NodeByLinkId(ids[i]);
		if (!n || n->document != doc)
			continue;
		ObjectData* od = PluginData(n, OBJECT_CALL_ADDEXECUTION);
		if (!od)
			continue;
		const PriorityEntry& e = state.entries[i];
		if (od->Execute(static_cast<BaseObject*>(n->atom), doc, thread, e.priority, e.flags) == EXECUTIONRESULT::USERBREAK)
			return;
	}
}

void SetCache(Node* n, BaseObject* result)
{
	if (result == n->cache)
	{
		n->cacheValid = result != nullptr;
		return;
	}
	if (BaseObject* old = n->cache)
	{
		n->cache = nullptr;
		Access::Of(old)->cacheOwner = nullptr;
		Access::Destroy(old);
	}
	if (Node* r = Access::Of(result))
	{
		// The cache belongs to the host, parented to nothing.
		result->Remove();
		r->cacheOwner = n;
	}
	n->cache = result;
	n->cacheValid = result != nullptr;
}

void GeneratorPass(BaseDocument* doc, BaseThread* thread)
{
	std::vector<Int64> ids;
	if (!ObjectIdsOf(doc, ids))
		return;
	HierarchyHelp* hh = Access::New<HierarchyHelp>();
	if (!hh)
		return;
	hh->_lod = 1.0;
	hh->_doc = doc;
	hh->_thread = thread;
	for (Int64 id : ids)
	{
		Node* n = NodeByLinkId(id);
		if (!n || n->document != doc)
			continue;
		ObjectData* od = PluginData(n, OBJECT_GENERATOR);
		if (!od)
			continue;
		BaseObject* op = static_cast<BaseObject*>(n->atom);
		SetCache(n, od->GetVirtualObjects(op, hh));
		op->Touch();
	}
	Access::Delete(hh);
}
} // namespace

void EvaluateDocument(BaseDocument* doc)
{
	if (!doc)
		return;
	static BaseThread thread;
	ExecutionPass(doc, &thread);
	GeneratorPass(doc, &thread);
}

void BroadcastMessage(BaseDocument* doc, Int32 type, void* data)
{
	std::vector<Int64> ids;
	if (!ObjectIdsOf(doc, ids))
		return;
	// A receiver may change the tree; every object that still exists gets the message once.
	for (Int64 id : ids)
		if (Node* n = NodeByLinkId(id))
			n->atom->Message(type, data);
}

BaseObject* CloneObject(BaseObject* op)
{
	Node* src = Access::Of(op);
	if (!src)
		return nullptr;
	BaseObject* dst = nullptr;
	if (src->nodeData)
	{
		// Like the host: the new plug-in data is initialised before it receives the copy.
		if (!FindObjectPlugin(src->type))
			return nullptr;
		dst = AllocPluginObject(src->type);
	}
	else
	{
		dst = NewObjectNode(src->cls, src->type);
	}
	if (!dst)
		return nullptr;
	if (!CopyNode(src, Access::Of(dst), COPYFLAGS::NONE, nullptr))
	{
		Access::Destroy(dst);
		return nullptr;
	}
	return dst;
}
} // namespace vh
