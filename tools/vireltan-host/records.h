// Every record of an SD file, each exported on its own: a record is what comes before a "$$$$"
// line, and the object reads the first record of its input, so each record is handed to it as a
// file of its own.
#pragma once

#include <string>
#include <vector>

#include "session.h"

namespace tool
{
struct RecordSpan
{
	Int64 offset = 0; // of the record's first byte in the file
	Int64 length = 0; // up to and with its "$$$$" line
	std::string firstLine; // the molecule's name line, line ending removed
};

// The records of a molecule file in order; a file without "$$$$" lines is one record, and blank
// lines after the last one are none. False with the reason when the file cannot be read.
Bool ScanRecords(const std::string& path, std::vector<RecordSpan>& records, std::string& error);

// The name a record's file gets: its 1-based index padded to the width of the count, then "-" and
// the first line when that is a safe file name (letters, digits, . _ + - and blanks, which become _).
std::string RecordFileName(size_t index, size_t count, const std::string& firstLine);

// `export MOLFILE --all [-o FOLDER]` (record 0) or `--record N`: the summary line on standard
// output, failures on standard error; 1 when any record failed.
int ExportRecords(const MoleculeOptions& options, const std::string& output, Int32 record);
} // namespace tool
