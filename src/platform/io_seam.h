#pragma once
// The calls a transfer makes to send datagrams and read its file. The
// default implementation calls the system; tests derive from it to make a
// send fail, block or come up short, or a read fail, and set the thread's
// error code the way the system would.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/udp_socket.h"

namespace ostrel::platform {

class io_seam {
 public:
  virtual ~io_seam() = default;

  // Bytes sent, or -1 with the code in last_socket_error().
  virtual long send_to(socket_handle s, const void* data, std::size_t length, const ipv4_address& to);

  // Opens a regular file for binary reading, or returns null with errno set:
  // ENOENT when the file or a folder on its path does not exist, EACCES when
  // reading is denied or the path names a folder, another code otherwise.
  virtual std::FILE* open_for_reading(const char* path);

  // Up to n bytes; a short count with feof(file) unset is a read failure,
  // with its code in last_system_error().
  virtual std::size_t read(void* buffer, std::size_t n, std::FILE* file);

  // The file's size in bytes, or -1.
  virtual std::int64_t file_size(std::FILE* file);
};

}  // namespace ostrel::platform
