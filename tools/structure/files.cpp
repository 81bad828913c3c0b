// Formats by suffix, whole-file reads (gzip included) and the dispatch to the format readers.
#include <cerrno>
#include <cstring>
#include <fstream>

#include <zlib.h>

#include "structure.h"

namespace structure
{
std::string Lower(std::string text)
{
	for (char& c : text)
		c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
	return text;
}

bool EndsWith(const std::string& text, const std::string& end)
{
	return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string BaseName(const std::string& path)
{
	const size_t slash = path.find_last_of('/');
	return slash == std::string::npos ? path : path.substr(slash + 1);
}

void RequireAscii(const std::string& path, const char* text, size_t size, int firstLine)
{
	int line = firstLine;
	for (size_t i = 0; i < size; ++i)
	{
		const unsigned char c = static_cast<unsigned char>(text[i]);
		if (c == '\n')
			++line;
		else if (c >= 0x80)
			throw ReadError(path + ": line " + std::to_string(line) + ": a byte that is not ASCII text (" +
				std::to_string(int(c)) + "); PDB and mmCIF files are ASCII");
	}
}

namespace
{
// The suffix after the last dot of the name once a final .gz is dropped, in lower case.
std::string FormatSuffix(const std::string& path)
{
	std::string name = Lower(BaseName(path));
	if (EndsWith(name, ".gz"))
		name.resize(name.size() - 3);
	const size_t dot = name.find_last_of('.');
	return dot == std::string::npos ? "" : name.substr(dot + 1);
}

std::string Inflate(const std::string& path, const std::string& packed)
{
	z_stream z{};
	if (inflateInit2(&z, 15 + 16) != Z_OK)
		throw ReadError(path + ": cannot start gzip decompression");
	std::string text;
	z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
	z.avail_in = uInt(packed.size());
	char buffer[1 << 16];
	int status = Z_OK;
	// Concatenated gzip members are one stream to gzip(1); read them all.
	while (true)
	{
		z.next_out = reinterpret_cast<Bytef*>(buffer);
		z.avail_out = sizeof buffer;
		status = inflate(&z, Z_NO_FLUSH);
		text.append(buffer, sizeof buffer - z.avail_out);
		if (status == Z_STREAM_END)
		{
			if (z.avail_in == 0)
				break;
			inflateReset(&z);
			continue;
		}
		if (status != Z_OK)
			break;
		if (z.avail_in == 0 && z.avail_out != 0)
		{
			status = Z_BUF_ERROR;
			break;
		}
	}
	inflateEnd(&z);
	if (status == Z_STREAM_END)
		return text;
	if (status == Z_BUF_ERROR)
		throw ReadError(path + ": the gzip data is truncated (the file ends inside the compressed stream)");
	throw ReadError(path + ": the gzip data is damaged");
}
} // namespace

Format FormatOf(const std::string& path)
{
	const std::string suffix = FormatSuffix(path);
	if (suffix == "pdb" || suffix == "ent")
		return Format::Pdb;
	if (suffix == "cif" || suffix == "mmcif")
		return Format::Mmcif;
	if (suffix == "xyz")
		return Format::Xyz;
	if ((suffix == "sdf" || suffix == "mol") && !IsGzipped(path))
		return Format::Mdl;
	return Format::Unknown;
}

bool IsGzipped(const std::string& path)
{
	return EndsWith(Lower(path), ".gz");
}

std::string Stem(const std::string& path)
{
	std::string name = BaseName(path);
	if (IsGzipped(name))
		name.resize(name.size() - 3);
	const size_t dot = name.find_last_of('.');
	if (dot != std::string::npos && dot > 0)
		name.resize(dot);
	return name;
}

std::string ReadFileText(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	if (!in)
		throw ReadError(path + ": cannot be read: " + std::strerror(errno));
	std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
	if (in.bad())
		throw ReadError(path + ": cannot be read: " + std::strerror(errno));
	if (bytes.empty())
		throw ReadError(path + ": the file is empty");
	if (!IsGzipped(path))
		return bytes;
	if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0x1f || static_cast<unsigned char>(bytes[1]) != 0x8b)
		throw ReadError(path + ": not gzip-compressed data, though the name ends in .gz");
	std::string text = Inflate(path, bytes);
	if (text.empty())
		throw ReadError(path + ": the file is empty once uncompressed");
	return text;
}

std::vector<Record> ReadStructure(const std::string& path, const RadiusTable& radii)
{
	switch (FormatOf(path))
	{
		case Format::Pdb:
			return ReadPdb(path, radii);
		case Format::Mmcif:
			return ReadMmcif(path, radii);
		case Format::Xyz:
			return ReadXyz(path, radii);
		default:
			throw ReadError(path + ": not a structure file this reader knows (.pdb, .ent, .cif, .mmcif, .xyz, each also .gz)");
	}
}
} // namespace structure
