// Replays saved inputs through a harness without libFuzzer, as a normal test: every regular file
// of the folders given (a missing folder holds none), in name order. Exits 1 when no input at all
// was found, so that a moved corpus does not pass unnoticed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
	namespace fs = std::filesystem;
	size_t total = 0;
	for (int i = 1; i < argc; ++i)
	{
		std::error_code ec;
		std::vector<fs::path> files;
		for (fs::directory_iterator it(argv[i], ec), end; !ec && it != end; it.increment(ec))
			if (it->is_regular_file())
				files.push_back(it->path());
		std::sort(files.begin(), files.end());
		for (const fs::path& file : files)
		{
			std::ifstream in(file, std::ios::binary);
			const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
			std::printf("replaying %s (%zu bytes)\n", file.c_str(), bytes.size());
			std::fflush(stdout);
			LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
		}
		std::printf("%zu inputs from %s\n", files.size(), argv[i]);
		total += files.size();
	}
	if (total == 0)
	{
		std::fprintf(stderr, "replay: no inputs found; give the corpus and regression folders\n");
		return 1;
	}
	return 0;
}
