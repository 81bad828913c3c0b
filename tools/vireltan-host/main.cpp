// vireltan-host: loads the plug-in module headlessly, drives molecule objects, dumps and exports them.
#include <iostream>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>
#include <unistd.h>

#include "dump.h"
#include "export.h"
#include "records.h"
#include "script.h"
#include "session.h"
#include "structure.h"
#include "structures.h"
#include "vh/host.h"
#include "vh/loader.h"

namespace
{
std::string ExecutableFolder()
{
	char buffer[4096];
	const ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
	if (n <= 0)
		return ".";
	buffer[n] = '\0';
	std::string path(buffer);
	return path.substr(0, path.find_last_of('/'));
}

struct Commands
{
	CLI::App* exportCmd = nullptr;
	CLI::App* dumpCmd = nullptr;
	CLI::App* runCmd = nullptr;
	CLI::App* convertCmd = nullptr;
	std::string plugins;
	std::string convertInput;
	tool::MoleculeOptions molecule;
	std::string output;
	bool all = false;
	Int32 record = 0;
	std::string shard;
	bool resume = false;
	UInt32 jobs = 0;
	std::string script;
	bool html = false;
	bool merge = false;
	bool verbose = false;
	bool version = false;
};

void AddCommands(CLI::App& app, Commands& c)
{
	app.require_subcommand(0, 1);
	app.add_option("--plugins", c.plugins, "folder holding the plug-in folders");
	app.add_flag("--version", c.version, "print the tool's version and the loaded module's");
	c.exportCmd = app.add_subcommand("export", "write the generated molecule as binary glTF");
	c.exportCmd->add_option("MOLFILE", c.molecule.molfile, "molecule file (.sdf, .mol; .pdb, .ent, .cif, .mmcif, .xyz, each also .gz)")->required();
	c.exportCmd->add_option("-o", c.output,
		"output file (default: the molecule file's name with .glb); with --all the folder for the files");
	CLI::Option* all = c.exportCmd->add_flag("--all", c.all, "export every record of the file, one .glb each");
	c.exportCmd->add_option("--record", c.record, "export record N only (the first is 1)")
		->check(CLI::Range(1, INT32_MAX))
		->excludes(all);
	c.exportCmd->add_option("--shard", c.shard, "K/N: with --all, only records K, K+N, K+2N, ... (K from 1 to N)")->needs(all);
	c.exportCmd->add_flag("--resume", c.resume, "with --all, skip records whose file exists")->needs(all);
	c.exportCmd->add_option("-j,--jobs", c.jobs, "with --all, N worker processes (default: the CPUs this process may use)")
		->check(CLI::Range(1, 4096))
		->needs(all);
	c.exportCmd->add_flag("--html", c.html, "also write a preview page OUT.html beside OUT.glb (opens offline in a browser)")
		->excludes(all)
		->excludes("--record");
	c.exportCmd->add_flag("--merge", c.merge, "one mesh per material, no node per object, spheres of 16 segments unless --set MOLOBJ_ATOM_SEGMENTS gives them (for tools slow with many objects)")
		->excludes(all)
		->excludes("--record");
	c.dumpCmd = app.add_subcommand("dump", "print the evaluated document as JSON");
	c.dumpCmd->add_option("MOLFILE", c.molecule.molfile, "molecule file (.sdf, .mol; .pdb, .ent, .cif, .mmcif, .xyz, each also .gz)")->required();
	for (CLI::App* cmd : {c.exportCmd, c.dumpCmd})
	{
		cmd->add_option("--set", c.molecule.sets, "NAME=VALUE: set a parameter as the attribute panel does");
		cmd->add_option("--material", c.molecule.materials, "SYMBOL[:NAME][:#RRGGBB]: add a material group");
	}
	c.convertCmd = app.add_subcommand("convert", "write a PDB, mmCIF, XYZ or SD file as an MDL file (.sdf: every record; .mol: the first)");
	c.convertCmd->add_option("IN", c.convertInput, "structure file (.pdb, .ent, .cif, .mmcif, .xyz, each also .gz; .sdf, .mol)")->required();
	c.convertCmd->add_option("-o", c.output, "output file, OUT.sdf or OUT.mol")->required();
	c.runCmd = app.add_subcommand("run", "run a script of steps");
	c.runCmd->add_option("SCRIPT", c.script, "script file")->required();
	for (CLI::App* cmd : {c.exportCmd, c.dumpCmd, c.runCmd})
		cmd->add_flag("--verbose", c.verbose, "echo the host's console lines to standard error");
}

// The chosen command on a new document; usage errors exit 2.
int RunCommand(const Commands& c)
{
	tool::Session session;
	std::string given, handedPath; // a structure file's name and that of the SD file made of it
	try
	{
		if (!session.NewDocument())
		{
			std::cerr << "vireltan-host: the molecule object could not be created\n";
			return 1;
		}
		if (c.runCmd->parsed())
			return tool::RunScript(session, c.script);
		// A structure file reaches the object as the SD file `convert` writes of it.
		std::unique_ptr<tool::HandedOver> handed;
		tool::MoleculeOptions molecule = c.molecule;
		std::string output = c.output;
		if (tool::IsStructureFile(molecule.molfile))
		{
			try
			{
				handed = std::make_unique<tool::HandedOver>(molecule.molfile, tool::ElementTablePath(c.plugins));
			}
			catch (const structure::ReadError& e)
			{
				std::cerr << "vireltan-host: " << e.what() << "; nothing " << (c.dumpCmd->parsed() ? "printed" : "exported") << "\n";
				return 1;
			}
			if (output.empty())
				output = tool::StructureOutput(molecule.molfile, c.all, c.record);
			given = molecule.molfile;
			handedPath = handed->Path();
			molecule.molfile = handedPath;
		}
		if (c.dumpCmd->parsed())
			return tool::DumpCommand(session, molecule);
		if (c.all || c.record > 0)
		{
			tool::BatchOptions batch;
			batch.all = c.all;
			batch.record = c.record;
			batch.resume = c.resume;
			batch.jobs = c.jobs;
			batch.verbose = c.verbose;
			if (!c.shard.empty())
				tool::ParseShard(c.shard, batch);
			return tool::ExportRecords(molecule, output, batch);
		}
		// The page template is built beside the tool, as the plug-ins are.
		const std::string page = ExecutableFolder() + "/preview/page.html";
		return tool::ExportCommand(session, molecule, output, c.html ? &page : nullptr, c.merge);
	}
	catch (const tool::UsageError& e)
	{
		std::string message = e.message;
		const size_t at = handedPath.empty() ? std::string::npos : message.find(handedPath);
		if (at != std::string::npos)
			message.replace(at, handedPath.size(), given);
		std::cerr << "vireltan-host: " << tool::Printable(message) << "\n";
		return 2;
	}
}

// The tool's version, then each module loaded with its own.
int PrintVersion()
{
	std::cout << "vireltan-host " << VIRELTAN_VERSION << "\n";
	for (const vh::LoadedModule& m : vh::LoadedModules())
		std::cout << "module " << (m.version.empty() ? "(no version recorded)" : m.version) << " " << tool::Printable(m.path)
				  << "\n";
	return 0;
}
} // namespace

int main(int argc, char** argv)
{
	CLI::App app{"Loads the Vireltan module headlessly, drives molecule objects, dumps and exports them."};
	Commands commands;
	commands.plugins = ExecutableFolder() + "/plugins";
	AddCommands(app, commands);
	try
	{
		app.parse(argc, argv);
	}
	catch (const CLI::ParseError& e)
	{
		const int code = app.exit(e);
		return code == 0 ? 0 : 2;
	}
	if (!commands.version && app.get_subcommands().empty())
	{
		app.exit(CLI::RequiredError("A subcommand"));
		return 2;
	}

	if (commands.convertCmd->parsed())
	{
		// Needs the element table's radii, not the module.
		try
		{
			return tool::ConvertCommand(commands.convertInput, commands.output, tool::ElementTablePath(commands.plugins));
		}
		catch (const tool::UsageError& e)
		{
			std::cerr << "vireltan-host: " << e.message << "\n";
			return 2;
		}
	}
	vh::SetConsoleEcho(commands.verbose);
	if (vh::LoadPlugins(commands.plugins) == 0 || !vh::FindObjectPlugin(ID_VIRELTAN))
	{
		if (commands.version)
			std::cout << "vireltan-host " << VIRELTAN_VERSION << "\n";
		std::cerr << "vireltan-host: the Vireltan module could not be loaded from " << tool::Printable(commands.plugins)
				  << " (give the folder that holds it with --plugins)\n";
		vh::UnloadPlugins();
		return 1;
	}
	const int status = commands.version ? PrintVersion() : RunCommand(commands);
	vh::UnloadPlugins();
	return status;
}
