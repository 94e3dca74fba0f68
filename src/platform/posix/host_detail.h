// The pure parts of the machine facts on Linux, apart from the files they read, so they can be
// checked against made-up system trees.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brindle::platform::detail {

// The MAC address text chosen from a tree shaped like /sys/class/net: among the interfaces
// that are connected (operstate "up", or "unknown" with carrier 1) and carry a non-zero
// six-byte address, the lowest-named one whose device sits on the PCI bus (not behind USB);
// when there is none, the lowest-named connected one of any kind except loopback. Upper-case,
// "00:1A:2B:3C:4D:5E"; empty when nothing qualifies.
std::string mac_address_from(const std::string& class_net_dir);

// The OS version text from the contents of os-release and the uname machine:
//   NAME + " " + VERSION_ID + (" x64" | " x86")
// NAME falls back to ID and then "Linux"; VERSION_ID falls back to BUILD_ID and then empty
// text. As with the Windows text, the version is left out (the blank kept) when the name
// already contains it; " x64" stands for any 64-bit machine. The result is UTF-8.
// The kernel release is not part of it: it changes with every kernel update, and the machine
// identity built from this text must stay put or every stored login is lost.
std::string os_version_from(std::string_view os_release, std::string_view machine);

// A name as a Windows call with a fixed buffer of `buffer_size` bytes returns it: empty when it
// needs more than buffer_size - 1 bytes (the terminating NUL takes the last one).
std::string fit_buffer(std::string name, std::size_t buffer_size);

}  // namespace brindle::platform::detail
