// Scratch folders and whole-file reads and writes, shared by every test program.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

namespace testfiles
{
// The file's bytes; empty when it cannot be read.
inline std::string ReadFile(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces the file's content, making the folders above it first.
inline void WriteFile(const std::string& path, const std::string& content)
{
	std::error_code ec;
	std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
	std::ofstream(path, std::ios::binary) << content;
}

// Names of what a folder holds, sorted; none when it cannot be read.
inline std::vector<std::string> Names(const std::string& folder)
{
	std::vector<std::string> names;
	std::error_code ec;
	for (const auto& e : std::filesystem::directory_iterator(folder, ec))
		names.push_back(e.path().filename().string());
	std::sort(names.begin(), names.end());
	return names;
}

// A new folder under the system's temporary folder, removed with all it holds when the object goes.
class TempDir
{
public:
	TempDir()
	{
		std::string pattern = (std::filesystem::temp_directory_path() / "vireltan-XXXXXX").string();
		if (mkdtemp(pattern.data()))
			_path = pattern;
		else
			ADD_FAILURE() << "cannot make a scratch folder like " << pattern;
	}
	~TempDir()
	{
		if (_path == kNone)
			return;
		std::error_code ec;
		std::filesystem::remove_all(_path, ec);
		EXPECT_FALSE(ec) << "cannot remove " << _path << ": " << ec.message();
	}
	TempDir(const TempDir&) = delete;
	TempDir& operator=(const TempDir&) = delete;

	const std::string& Path() const { return _path; }
	std::string File(const std::string& relative) const { return _path + "/" + relative; }
	void Write(const std::string& relative, const std::string& content) const { WriteFile(File(relative), content); }
	// Names of what the folder holds, sorted.
	std::vector<std::string> Names() const { return testfiles::Names(_path); }
	// Copies a file, or a folder with all it holds, to relative (which must not exist yet).
	void Copy(const std::string& from, const std::string& relative) const
	{
		const std::filesystem::path to = File(relative);
		std::error_code ec;
		std::filesystem::create_directories(to.parent_path(), ec);
		std::filesystem::copy(from, to, std::filesystem::copy_options::recursive, ec);
		EXPECT_FALSE(ec) << "cannot copy " << from << " to " << to << ": " << ec.message();
	}

private:
	// Where a folder that could not be made points: nothing is written into the real root.
	static constexpr const char* kNone = "/nonexistent-vireltan-scratch";
	std::string _path = kNone;
};
} // namespace testfiles
