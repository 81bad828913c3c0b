#include "datastructs.h"

#include <cstring>
#include <istream>

Int32 FindElement(const String& symbol, const maxon::BaseArray<ElementRecord>& elements)
{
	String key = symbol.ToUpper();
	iferr (key.Trim())
		return -1;
	for (Int i = 0; i < elements.GetCount(); ++i)
	{
		if (elements[i].symbol.ToUpper() == key)
			return Int32(i);
	}
	return -1;
}

Bool ReadTextLine(std::istream& stream, char* buffer, Int bufferSize)
{
	// getline fails on a line that fills the buffer; what was read stays in it either way, and a
	// failed stream still leaves an empty, terminated buffer.
	stream.getline(buffer, std::streamsize(bufferSize));
	const void* end = std::memchr(buffer, '\0', size_t(bufferSize - 1));
	const Int len = end ? static_cast<const char*>(end) - buffer : bufferSize - 1;
	if (len > 0 && buffer[len - 1] == '\r')
		buffer[len - 1] = '\0';
	return !stream.fail();
}
