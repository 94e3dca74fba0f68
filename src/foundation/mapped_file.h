// The mapped file store: files named by integer handles in one process-wide table, read and
// written through memory-mapped views. Any thread may write a file another thread opened.
//
// Every routine is safe to call from any thread. Operations on one handle run one at a time;
// operations on different handles run side by side. Nothing throws: failure is false, 0, -1 or
// an empty text, and a failed operation changes neither the file's contents nor its length.
//
// Sizes: a write past the end grows the file to the end of that write, so the file on disk has
// exactly the size of its contents, while it is being written and once it is closed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brindle {

using MappedHandle = std::int64_t;  // 0 = no file

namespace mapped_file {

// mode: 1 read only existing, 3 read/write existing, 4 always new, 6 open or create.
// share: 1 read+write, 2 write, 3 read, 4 none. flags: CreateFileA attribute flags; unless
// FILE_FLAG_RANDOM_ACCESS (1 << 28) is among them the file is read ahead sequentially.
// Returns 0 for any other mode or share value, for a missing file (modes 1 and 3), a directory,
// or when the share modes of this process's open handles of the same file refuse the open.
// Share modes between processes are advisory on POSIX: only "none" is kept (with flock).
MappedHandle open(const std::string& path, int mode = 3, int share = 1, std::uint32_t flags = 0);

// Writes the text's bytes (all of them, counted) at the current position and, with
// add_terminator, the terminator byte after them; the position advances by the text's length
// only, so a following write replaces the terminator. False for a read-only handle.
[[nodiscard]] bool write_text(MappedHandle handle, std::string_view text, char terminator = '\0',
                              bool add_terminator = false);
// The same for a byte array; the position advances by its length. Empty bytes write nothing.
[[nodiscard]] bool write_bytes(MappedHandle handle, std::string_view bytes);
// Up to `count` bytes from the current position (fewer at the end); the position advances by
// what was read. Empty at or past the end, for count <= 0 and for an unknown handle.
[[nodiscard]] std::string read(MappedHandle handle, std::int64_t count);
// The file's length becomes `length`; a position beyond it moves to it. False for a read-only
// handle, a negative length, or a cut below what another open handle of this process holds.
[[nodiscard]] bool set_length(MappedHandle handle, std::int64_t length);
[[nodiscard]] std::int64_t size(MappedHandle handle);      // -1 for an unknown handle
[[nodiscard]] std::int64_t position(MappedHandle handle);  // -1 for an unknown handle
// Moves the position; beyond the end is allowed (a write there grows the file). False when
// negative or for an unknown handle.
[[nodiscard]] bool seek(MappedHandle handle, std::int64_t position);
// Unmaps, trims the file to its contents, closes and forgets the handle. Unknown: nothing.
void close(MappedHandle handle);

// Whole-file helpers. read_whole_file opens read-only and reads 0..size (false when the file
// cannot be opened; `out` is then empty). write_whole_file writes the text into a new file
// beside `path` and renames it over `path`, so a crash leaves the old or the new contents,
// never a mixture; false (and the old file untouched) when any step fails.
[[nodiscard]] bool read_whole_file(const std::string& path, std::string& out);
[[nodiscard]] bool write_whole_file(const std::string& path, std::string_view text);

// How many handles are open (for tests and leak checks).
[[nodiscard]] std::size_t open_count();

}  // namespace mapped_file
}  // namespace brindle
