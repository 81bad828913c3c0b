// Attaches the built module as the host does and returns without the end message, as a process
// that stops early does. What runs at exit (the module's resource) must not reach host state that
// exit has already torn down; the sanitizer build turns such a read into a failure of this program.
#include <cstdio>

#include "vh/loader.h"

int main(int argc, char** argv)
{
	if (argc != 2)
	{
		std::fprintf(stderr, "usage: attach_and_exit MODULE\n");
		return 2;
	}
	vh::SetEcho(false);
	return vh::LoadModule(argv[1]) ? 0 : 1;
}
