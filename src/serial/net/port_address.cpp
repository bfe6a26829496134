#include "serial/net/port_address.h"

#include <charconv>

namespace velimo::serial::net {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

constexpr std::string_view kRfc2217 = "rfc2217://";
constexpr std::string_view kTcp = "tcp://";

}  // namespace

bool IsNetworkPortName(std::string_view name) {
  return StartsWithNoCase(name, kRfc2217) || StartsWithNoCase(name, kTcp);
}

ParsedAddress ParsePortAddress(std::string_view name) {
  ParsedAddress result;
  PortAddress a;
  std::string_view rest;
  if (StartsWithNoCase(name, kRfc2217)) {
    a.kind = NetKind::kRfc2217;
    rest = name.substr(kRfc2217.size());
  } else if (StartsWithNoCase(name, kTcp)) {
    a.kind = NetKind::kRawTcp;
    rest = name.substr(kTcp.size());
  } else {
    result.error = "\"" + std::string(name) + "\" is not a network port name";
    return result;
  }
  const std::string usage = "write " + std::string(name.substr(0, name.size() - rest.size())) +
                            "HOST:PORT, with an IPv6 address in brackets";
  // A trailing slash is what a browser-trained hand adds; it means nothing.
  if (rest.ends_with('/')) rest.remove_suffix(1);
  std::string_view portText;
  if (rest.starts_with('[')) {
    const size_t close = rest.find(']');
    if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
      result.error = "\"" + std::string(name) + "\" is not HOST:PORT: " + usage;
      return result;
    }
    a.host = std::string(rest.substr(1, close - 1));
    portText = rest.substr(close + 2);
  } else {
    const size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) {
      result.error = "\"" + std::string(name) + "\" has no port number: " + usage;
      return result;
    }
    a.host = std::string(rest.substr(0, colon));
    // An IPv6 address without brackets cannot be told from HOST:PORT.
    if (a.host.find(':') != std::string::npos) {
      result.error = "\"" + std::string(name) + "\" is not HOST:PORT: " + usage;
      return result;
    }
    portText = rest.substr(colon + 1);
  }
  if (a.host.empty()) {
    result.error = "\"" + std::string(name) + "\" has no host: " + usage;
    return result;
  }
  for (char c : a.host) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u <= ' ' || u >= 0x7F || c == '/' || c == '@' || c == '[' || c == ']') {
      result.error = "\"" + std::string(name) + "\" has an invalid host: " + usage;
      return result;
    }
  }
  int port = 0;
  const char* first = portText.data();
  const char* last = first + portText.size();
  auto [end, ec] = std::from_chars(first, last, port);
  if (portText.empty() || ec != std::errc() || end != last || port < 1 || port > 65535) {
    result.error = "\"" + std::string(name) + "\" has no port number from 1 to 65535: " + usage;
    return result;
  }
  a.port = port;
  result.address = a;
  return result;
}

std::string Describe(const PortAddress& address) {
  const bool v6 = address.host.find(':') != std::string::npos;
  return (v6 ? "[" + address.host + "]" : address.host) + " port " + std::to_string(address.port);
}

}  // namespace velimo::serial::net
