// Names of serial ports on the far side of a network connection:
// "rfc2217://HOST:PORT" (Telnet with port control) and "tcp://HOST:PORT"
// (the bytes alone). HOST is a name, an IPv4 address or an IPv6 address in
// brackets.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velimo::serial::net {

enum class NetKind { kRfc2217, kRawTcp };

struct PortAddress {
  NetKind kind = NetKind::kRawTcp;
  std::string host;  // without the brackets of an IPv6 address
  int port = 0;      // 1..65535
};

// True when the name asks for a network port (its scheme, in any case),
// whether or not the rest of it is well formed.
bool IsNetworkPortName(std::string_view name);

struct ParsedAddress {
  std::optional<PortAddress> address;
  std::string error;  // why the name is not a usable address
};
ParsedAddress ParsePortAddress(std::string_view name);

// "HOST port PORT", with an IPv6 address in brackets, for messages.
std::string Describe(const PortAddress& address);

}  // namespace velimo::serial::net
