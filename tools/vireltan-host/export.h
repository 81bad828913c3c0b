// Binary glTF export of the session's document.
#pragma once

#include <chrono>
#include <string>

#include "session.h"
#include "vh/gltf.h"

namespace tool
{
// "OUT: A atoms, B bonds, O objects, M meshes, T triangles, N bytes, S s", the line every export prints.
std::string SummaryLine(const std::string& out, Int atoms, Int bonds, const vh::ExportSummary& summary, double seconds);
// Writes the whole document to `out` and prints the summary line; 0 written, 1 failed (message on
// stderr). The time reported runs from `began` when given, else it is the writer's own.
// A note, when given, ends the line. With `pageTemplate`, the preview page made from it goes
// beside the file (preview.h). `merged` writes one mesh per material instead of the object tree.
int ExportDocument(Session& s, const std::string& out, const std::chrono::steady_clock::time_point* began = nullptr,
	const std::string& note = "", const std::string* pageTemplate = nullptr, bool merged = false);
// Loads the options' molecule and evaluates the document as every export does first: empty when
// the object then holds atoms to export, else why not, to be said after the molecule's name. The
// options' usage errors are thrown.
std::string LoadForExport(Session& s, const MoleculeOptions& options);
// The molecule file's path with its suffix replaced by .glb.
std::string DefaultOutput(const std::string& molfile);
// `export MOLFILE [-o OUT] [--html]`: nothing is written when the molecule could not be loaded.
int ExportCommand(Session& s, const MoleculeOptions& options, const std::string& output,
	const std::string* pageTemplate = nullptr, bool merged = false);
} // namespace tool
