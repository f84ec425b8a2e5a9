#include "platform/io_seam.h"

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ostrel::platform {

long io_seam::send_to(socket_handle s, const void* data, std::size_t length, const ipv4_address& to) {
  return send_datagram(s, data, length, to);
}

std::FILE* io_seam::open_for_reading(const char* path) {
#ifdef _WIN32
  // fopen on a folder fails with EACCES on Windows, which refuses it as wanted;
  // so does a file that another program holds without sharing.
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return nullptr;
  // Device names (NUL, CON, COM1, ...) open in any folder, the root
  // included; a console or serial port would stall the one thread. Only
  // files on disk are served.
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
  if (GetFileType(h) != FILE_TYPE_DISK) {
    std::fclose(f);
    errno = EACCES;
    return nullptr;
  }
  return f;
#else
  // O_NONBLOCK keeps a FIFO in the root from stalling the one thread.
  int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // A file standing where a folder of the path should be: Windows reports
    // "not found" here.
    if (errno == ENOTDIR) errno = ENOENT;
    return nullptr;
  }
  // Folders, devices and FIFOs are never served, only regular files.
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EACCES;
    return nullptr;
  }
  std::FILE* f = fdopen(fd, "rb");
  if (!f) {
    int code = errno;
    ::close(fd);
    errno = code;
    return nullptr;
  }
  return f;
#endif
}

std::size_t io_seam::read(void* buffer, std::size_t n, std::FILE* file) { return std::fread(buffer, 1, n, file); }

std::int64_t io_seam::file_size(std::FILE* file) {
#ifdef _WIN32
  struct _stat64 st;
  if (_fstat64(_fileno(file), &st) != 0) return -1;
#else
  struct stat st;
  if (fstat(fileno(file), &st) != 0) return -1;
#endif
  return static_cast<std::int64_t>(st.st_size);
}

}  // namespace ostrel::platform
