// The recording test plug-in shared by the scene tests.
#include "scene_support.h"

namespace scene_test
{
ProbeLog& Log()
{
	static ProbeLog log;
	return log;
}

namespace
{
NodeData* AllocNothing()
{
	return nullptr;
}

std::string Utf8(const String& s)
{
	return vh::ToUtf8(s);
}
} // namespace

ProbeData::~ProbeData()
{
	++Log().destroyed;
}

Bool ProbeData::Init(GeListNode* node)
{
	Log().calls.push_back("Init");
	inited = true;
	values.assign(3, 0);
	static_cast<BaseList2D*>(node)->GetDataInstance()->SetInt32(PROBE_VALUE, 7);
	return Log().initResult;
}

void ProbeData::Free(GeListNode*)
{
	Log().calls.push_back("Free");
}

Bool ProbeData::Read(GeListNode*, HyperFile* hf, Int32 level)
{
	Log().calls.push_back("Read");
	Log().readLevels.push_back(level);
	values.clear();
	for (Int32 i = 0; i < Log().readCount; ++i)
	{
		Int32 v = -1;
		Bool ok = hf->ReadInt32(&v);
		Log().readResults.push_back(ok);
		Log().readValues.push_back(v);
		if (ok)
			values.push_back(v);
	}
	return true;
}

Bool ProbeData::Write(GeListNode* node, HyperFile* hf)
{
	Log().calls.push_back("Write");
	// A marker of this object, then writeCount values derived from it.
	Int32 marker = static_cast<BaseList2D*>(node)->GetDataInstance()->GetInt32(PROBE_VALUE);
	Bool ok = true;
	for (Int32 i = 0; i < Log().writeCount; ++i)
		ok = hf->WriteInt32(marker * 10 + i) && ok;
	return ok && Log().writeResult;
}

Bool ProbeData::Message(GeListNode*, Int32 type, void* data)
{
	Log().calls.push_back("Msg:" + std::to_string(type));
	if (type == MSG_DOCUMENTINFO && data)
	{
		auto* info = static_cast<DocumentInfoData*>(data);
		Log().docInfoTypes.push_back(info->type);
		Log().docInfoDocs.push_back(info->doc);
	}
	return true;
}

Bool ProbeData::CopyTo(NodeData* dest, GeListNode*, GeListNode*, COPYFLAGS, AliasTrans*)
{
	Log().calls.push_back("CopyTo");
	auto* d = static_cast<ProbeData*>(dest);
	Log().copyToSawInitedDest = d->inited;
	d->values = values;
	return Log().copyToResult;
}

Bool ProbeData::AddToExecution(BaseObject* op, PriorityList* list)
{
	list->Add(op, op->GetDataInstance()->GetInt32(PROBE_PRIORITY, EXECUTIONPRIORITY_GENERATOR), EXECUTIONFLAGS::NONE);
	return true;
}

EXECUTIONRESULT ProbeData::Execute(BaseObject* op, BaseDocument*, BaseThread*, Int32, EXECUTIONFLAGS)
{
	Log().calls.push_back("Execute:" + Utf8(op->GetName()));
	return EXECUTIONRESULT::OK;
}

BaseObject* ProbeData::GetVirtualObjects(BaseObject* op, HierarchyHelp* hh)
{
	Log().calls.push_back("GVO:" + Utf8(op->GetName()));
	if (Log().returnNothing)
		return nullptr;
	if (Log().honourCache && !op->CheckCache(hh) && !op->IsDirty(DIRTYFLAGS::DATA))
		return op->GetCache(hh);
	BaseObject* root = BaseObject::Alloc(Onull);
	if (!root)
		return nullptr;
	++Log().builds;
	BaseObject* child = BaseObject::Alloc(Onull);
	if (child)
	{
		child->SetName("generated"_s);
		child->InsertUnder(root);
	}
	return root;
}

void RegisterProbes()
{
	if (!vh::FindObjectPlugin(ID_PROBE))
	{
		ASSERT_TRUE(vh::RegisterObjectPluginHost(ID_PROBE, "Probe"_s, OBJECT_GENERATOR | OBJECT_CALL_ADDEXECUTION,
			ProbeData::Alloc, "Oprobe"_s, nullptr, ID_PROBE_LEVEL, nullptr));
	}
	if (!vh::FindObjectPlugin(ID_PLAIN))
	{
		ASSERT_TRUE(vh::RegisterObjectPluginHost(ID_PLAIN, "Plain"_s, 0, ProbeData::Alloc, String(), nullptr, 0, nullptr));
	}
	if (!vh::FindObjectPlugin(ID_NOALLOC))
	{
		ASSERT_TRUE(vh::RegisterObjectPluginHost(ID_NOALLOC, "NoAlloc"_s, OBJECT_GENERATOR, AllocNothing, String(),
			nullptr, 0, nullptr));
	}
}

void ProbeTest::SetUp()
{
	RegisterProbes();
	Log() = ProbeLog();
	vh::ResetAllocationFailures();
}

void ProbeTest::TearDown()
{
	vh::ResetAllocationFailures();
}

std::vector<std::string> ChildNames(BaseObject* parent)
{
	std::vector<std::string> names;
	for (BaseObject* c = parent->GetDown(); c; c = c->GetNext())
		names.push_back(Utf8(c->GetName()));
	return names;
}

std::vector<std::string> TopNames(BaseDocument* doc)
{
	std::vector<std::string> names;
	for (BaseObject* c = doc->GetFirstObject(); c; c = c->GetNext())
		names.push_back(Utf8(c->GetName()));
	return names;
}

std::vector<std::string> TagTypes(BaseObject* op)
{
	std::vector<std::string> types;
	for (BaseTag* t = op->GetFirstTag(); t; t = t->GetNext())
		types.push_back(t->GetType() == Tphong ? "phong" : t->GetType() == Ttexture ? "texture" : std::to_string(t->GetType()));
	return types;
}
} // namespace scene_test
