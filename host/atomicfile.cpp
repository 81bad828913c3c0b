// Atomic file replacement (see atomicfile.h).
#include "atomicfile.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace vh
{
namespace
{
// Temporary name beside the target, unique within the process and across processes. It is
// short, so that any name that fits the folder leaves room for it.
std::string TemporaryName(const std::string& target)
{
	static std::atomic<unsigned> counter { 0 };
	const size_t slash = target.rfind('/');
	const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
	return dir + ".vh" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".tmp";
}
} // namespace

Bool WriteAll(int fd, const void* data, size_t size)
{
	const auto* bytes = static_cast<const unsigned char*>(data);
	size_t done = 0;
	while (done < size)
	{
		const ssize_t n = ::write(fd, bytes + done, size - done);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
		{
			if (n == 0)
				errno = EIO;
			return false;
		}
		done += size_t(n);
	}
	return true;
}

int CreateTemporaryBeside(const std::string& target, std::string& temp)
{
	int fd = -1;
	for (int attempt = 0; attempt < 100 && fd < 0; ++attempt)
	{
		temp = TemporaryName(target);
		fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
		if (fd < 0 && errno != EEXIST)
			break;
	}
	return fd;
}

Bool CommitTemporary(int fd, const std::string& temp, const std::string& target, const void* data, size_t size)
{
	if (fd < 0)
		return false;
	int code = 0;
	if (!WriteAll(fd, data, size) || ::fsync(fd) != 0)
		code = errno;
	if (::close(fd) != 0 && code == 0)
		code = errno;
	if (code == 0 && ::rename(temp.c_str(), target.c_str()) != 0)
		code = errno;
	if (code == 0)
		return true;
	::unlink(temp.c_str());
	errno = code;
	return false;
}

TemporaryFile::TemporaryFile(const std::string& target) : _target(target), _fd(CreateTemporaryBeside(target, _temp)) {}

TemporaryFile::~TemporaryFile()
{
	if (_fd < 0)
		return;
	const int code = errno;
	::close(_fd);
	::unlink(_temp.c_str());
	errno = code;
}

Bool TemporaryFile::Commit()
{
	const int fd = _fd;
	_fd = -1;
	return CommitTemporary(fd, _temp, _target, nullptr, 0);
}

Bool WriteFileAtomically(const std::string& target, const void* data, size_t size, std::string& error)
{
	std::string temp;
	const int fd = CreateTemporaryBeside(target, temp);
	if (fd >= 0 && CommitTemporary(fd, temp, target, data, size))
		return true;
	const int code = errno;
	error = "cannot write " + target + ": " + std::strerror(code);
	return false;
}
} // namespace vh
