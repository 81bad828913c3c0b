// `export --all`: the records of a shard handed out one at a time to worker processes (the host
// keeps its state in the process, so processes rather than threads), their files committed in
// batches, and the parent's memory independent of the record count.
#pragma once

#include <string>

#include "records.h"

namespace tool
{
struct BatchJob
{
	const MoleculeOptions* options = nullptr;
	BatchOptions batch;
	size_t count = 0; // records in the file
	std::string folder; // where the files go, with a trailing '/'
	std::string scratch; // a private temporary folder for the records' own files
	std::string suffix; // of the molecule file, so that the object reads each record as it reads the file
	size_t workers = 1;
};

struct BatchCounts
{
	size_t records = 0; // of the shard
	size_t written = 0;
	size_t failed = 0;
	size_t skipped = 0; // --resume: their file was there
};

// Record i (from 0) belongs to shard (i mod N) + 1: every N-th record, so shards stay even.
inline Bool InShard(size_t index, UInt32 shard, UInt32 shards)
{
	return index % shards == shard - 1;
}

// Runs the shard's records; failures go to standard error in record order. A SIGINT, SIGTERM or
// SIGHUP stops the workers, removes every scratch and partial file and ends the process by that
// signal once the folder holds only complete files.
void RunBatch(const BatchJob& job, BatchCounts& counts);
} // namespace tool
