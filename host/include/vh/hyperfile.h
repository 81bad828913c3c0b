// State behind a HyperFile, and in-memory streams for object copies and tests.
#pragma once

#include <string>
#include <vector>

#include "c4d_file.h"

namespace vh
{
// Framing: a file starts with kHyperMagic, kHyperVersion (Int32) and the ident (Int32), raw and
// little-endian; then every value is a one-byte HyperTag followed by its payload.
constexpr char kHyperMagic[4] = {'V', 'H', 'Y', 'P'};
constexpr Int32 kHyperVersion = 1;

enum class HyperTag : unsigned char
{
	INT32 = 1,
	INT64 = 2,
	FLOAT = 3,
	BOOL = 4,
	VECTOR = 5,
	STRING = 6,
	FILENAME = 7,
	CONTAINER = 8,
	GEDATA = 9
};

struct HyperFileState
{
	Bool open = false;
	Bool write = false;
	Bool error = false; // sticky: once set every later read or write fails
	Bool truncated = false; // a read failed because the data ended inside its value
	Int32 ident = 0;
	BaseDocument* document = nullptr;

	std::vector<unsigned char>* memory = nullptr; // memory streams: the caller's buffer
	std::vector<unsigned char> data; // file streams: whole content read, or output pending
	size_t pos = 0; // read position
	UInt64 work = 0; // entry comparisons spent building containers while reading

	std::string target; // file streams being written: final path and the temporary beside it
	std::string temp;
};

// A headerless stream over buffer (cleared first when writing); free it with HyperFile::Free.
// nullptr when buffer is nullptr or memory runs out.
HyperFile* OpenMemoryHyperFile(std::vector<unsigned char>* buffer, Bool write, BaseDocument* document = nullptr);
} // namespace vh
