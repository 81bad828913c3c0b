// Every record of an SD file, each exported on its own. A record is what comes before a line the
// reader takes as a separator (IsRecordSeparator: a line that starts with "$$$$"), and the object
// reads the first record of its input, so each record is handed to it as a file of its own.
#pragma once

#include <fstream>
#include <string>

#include "session.h"
#include "vh/gltf.h"

namespace tool
{
struct RecordSpan
{
	Int64 offset = 0; // of the record's first byte in the file
	Int64 length = 0; // up to and with its separator line
};

// The records of a molecule file in order, read as a stream: a file without separator lines is one
// record, and blank lines after the last one are none. Only the current record's first line is
// held, so a file of any number of records costs the same memory.
class RecordScanner
{
public:
	explicit RecordScanner(const std::string& path);
	// The next record and its first line (line ending removed); false at the end of the file or on
	// a read error (Error() then says why).
	Bool Next(RecordSpan& span, std::string& firstLine);
	const std::string& Error() const { return _error; }

private:
	std::string _path;
	std::ifstream _in;
	std::string _line;
	Int64 _offset = 0;
	Bool _done = false;
	std::string _error;
};

// The name a record's file gets: its 1-based index padded to the width of the count, then "-" and
// the first line when that is a safe file name (letters, digits, . _ + - and blanks, which become _).
std::string RecordFileName(size_t index, size_t count, const std::string& firstLine);

// What one record's export gave.
struct RecordResult
{
	Bool ok = false;
	Int atoms = 0;
	Int bonds = 0;
	vh::ExportSummary summary;
	std::string reason; // why it failed
};

// One record of the molecule file through a new document, as `export` drives a single file: the
// record is copied to recordFile (suffix of the molecule file) and loaded from there. With `out`
// the glTF file is written there, else its bytes go to `glb`.
RecordResult ExportRecord(const MoleculeOptions& options, const RecordSpan& span, const std::string& recordFile,
	const std::string* out, std::string* glb);

// How `export --all` and `--record` run.
struct BatchOptions
{
	Bool all = false;
	Int32 record = 0; // from 1; 0 with --all
	UInt32 shard = 1; // --shard K/N: K from 1 to N
	UInt32 shards = 1;
	Bool resume = false; // skip records whose file exists
	UInt32 jobs = 0; // worker processes; 0: the CPUs the process may use
	Bool verbose = false;
};

// "K/N" with 1 <= K <= N; a UsageError otherwise.
void ParseShard(const std::string& text, BatchOptions& batch);

// `export MOLFILE --all [-o FOLDER]` or `--record N`: the summary line on standard output, failures
// on standard error; 1 when any record failed or the file holds none.
int ExportRecords(const MoleculeOptions& options, const std::string& output, const BatchOptions& batch);
} // namespace tool
