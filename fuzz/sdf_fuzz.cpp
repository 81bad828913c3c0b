// libFuzzer harness: arbitrary bytes as a molecule file and as element table lines.
#include <cstdio>
#include <string>

#include <unistd.h>

#include "c4d.h"
#include "sdfloader.h"
#include "vh/host.h"
#include "vireltan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static Vireltan* table = []() {
		vh::SetEcho(false);
		Filename location(vh::FromUtf8(std::string(VIRELTAN_SOURCE_DIR) + "/vireltan.xso64"));
		c4d_main(C4DPL_INIT_SYS, vh::HostFunctionTable(), nullptr, &location);
		Vireltan* v = new Vireltan();
		v->LoadElementTable();
		return v;
	}();
	static const std::string path = "/tmp/vireltan-fuzz-" + std::to_string(getpid()) + ".mol";

	FILE* f = std::fopen(path.c_str(), "wb");
	if (!f)
		return 0;
	std::fwrite(data, 1, size, f);
	std::fclose(f);

	BaseObject* node = BaseObject::Alloc(Onull);
	maxon::BaseArray<AtomRecord> atoms;
	maxon::BaseArray<BondRecord> bonds;
	SDFLoader loader;
	loader.LoadFile(node, Filename(vh::FromUtf8(path)), table->elements, atoms, bonds);
	BaseObject::Free(node);

	String line;
	line.SetCString(reinterpret_cast<const char*>(data), Int(size), STRINGENCODING::XBIT);
	ElementRecord record{String(), Vector(), 1.0, 1.0};
	ParseElementLine(line, record);
	FindElement(line, table->elements);
	vh::ClearConsoleAndDialogs();
	return 0;
}
