// The mapped file store: files named by integer handles in one process-wide table, read and
// written through memory-mapped views. Any thread may write a file another thread opened.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brindle {

using MappedHandle = std::int64_t;  // 0 = no file

namespace mapped_file {

// mode: 1 read only existing, 3 read/write existing, 4 always new, 6 open or create.
// share: 1 read+write, 2 write, 3 read, 4 none. flags: CreateFileA attribute flags.
MappedHandle open(const std::string& path, int mode = 3, int share = 1, std::uint32_t flags = 0);
bool write_text(MappedHandle handle, std::string_view text, char terminator = '\0',
                bool add_terminator = false);
bool write_bytes(MappedHandle handle, std::string_view bytes);
std::string read(MappedHandle handle, std::int64_t count);
bool set_length(MappedHandle handle, std::int64_t length);
std::int64_t size(MappedHandle handle);      // -1 for an unknown handle
std::int64_t position(MappedHandle handle);  // -1 for an unknown handle
bool seek(MappedHandle handle, std::int64_t position);
void close(MappedHandle handle);

// Whole-file helpers: read opens read-only and reads 0..size; write opens with mode 4.
bool read_whole_file(const std::string& path, std::string& out);
bool write_whole_file(const std::string& path, std::string_view text);

}  // namespace mapped_file
}  // namespace brindle
