// The plug-in started as the host starts it, and a document holding one molecule object.
#pragma once

#include <string>

#include "c4d.h"
#include "vh/host.h"
#include "vireltan.h"

struct Session
{
	Session()
	{
		vh::SetEcho(false);
		Filename location(vh::FromUtf8(std::string(VIRELTAN_SOURCE_DIR) + "/vireltan.xso64"));
		c4d_main(C4DPL_INIT_SYS, vh::HostFunctionTable(), nullptr, &location);
		c4d_main(C4DPL_MESSAGE, reinterpret_cast<void*>(Int(C4DPL_INIT_SYS)), nullptr, nullptr);
		c4d_main(C4DPL_INIT, nullptr, nullptr, nullptr);
		doc = BaseDocument::Alloc();
		op = vh::AllocPluginObject(ID_VIRELTAN);
		doc->InsertObject(op, nullptr, nullptr);
	}
	~Session()
	{
		BaseDocument::Free(doc);
		c4d_main(C4DPL_END, nullptr, nullptr, nullptr);
		vh::UnregisterAllPlugins();
	}
	Session(const Session&) = delete;
	Session& operator=(const Session&) = delete;
	Vireltan* Data() const { return static_cast<Vireltan*>(op->GetNodeData()); }

	BaseDocument* doc = nullptr;
	BaseObject* op = nullptr;
};
