#include "datastructs.h"

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
	Int len = 0;
	while (len < bufferSize - 1 && buffer[len] != '\0')
		++len;
	if (len > 0 && buffer[len - 1] == '\r')
		buffer[len - 1] = '\0';
	return !stream.fail();
}
