// URLs as the engine writes them, taken apart byte for byte. The toolkit's URL
// class is not used for this: it re-encodes non-ASCII bytes and, with
// HTTP_PROXY set, resolves the proxy on the constructing (engine) thread.
// The error codes are the toolkit's wxURLError values.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <wx/url.h>

enum class UrlKind { Http, Ftp, File, Other };

struct StreamUrl {
  std::string scheme;  // as written; empty when there is none
  bool hasAuthority = false;  // "//" follows the scheme
  bool hasUserInfo = false;
  std::string userInfo;  // percent-encoded, as written
  std::string host;      // as written, brackets of an IPv6 literal kept
  std::string port;      // as written; empty for the default
  std::string path;
  bool hasQuery = false;
  std::string query;
  bool hasFragment = false;
  std::string fragment;
  // wxURL_NOERR, wxURL_SNTXERR (no scheme, or no host where one is needed)
  // or wxURL_NOPROTO (no protocol for the scheme, https included).
  wxURLError error = wxURL_NOERR;

  UrlKind Kind() const;
  // The path with "?query" and "#fragment" when the URL has them, as written.
  std::string FullPath() const;
  // FullPath ("/" for an empty path) as it goes in a request line: control
  // bytes and blanks (0x00 to 0x20, 0x7F) percent-encoded, so that they can
  // neither end the line nor start a header; other bytes as written.
  std::string RequestTarget() const;
  // The port to connect to: the written one when it is 1 to 5 decimal digits
  // with a value of 1 to 65535 (normalised, "0080" gives "80"), defaultPort
  // when none is written, nullopt for anything else.
  std::optional<std::string> ConnectPort(const char* defaultPort) const;
  // False when the host holds a control byte or a blank, which would reach
  // the wire or the resolver as it is.
  bool HostIsPlain() const;
  // The whole URL as a proxy needs it: "http://host[:port]" and the target;
  // the user information is left out (it travels in Authorization).
  std::string ProxyTarget() const;
};

StreamUrl ParseStreamUrl(std::string_view text);

std::string PercentDecode(std::string_view text);

// HTTP_PROXY, accepted as "host:port" and as "http://host:port[/]" (scheme in
// any case); user information before the host is dropped. The port must be 1
// to 65535.
struct ProxyAddress {
  std::string host;
  std::string port;
};
std::optional<ProxyAddress> ParseProxy(const char* text);

// What the browser may be handed for a URL the engine asks to open: http and
// https URLs as they are, a URL without scheme as http ("host:8080/x", a colon
// followed by a digit, is a host and port, not a scheme); nothing otherwise.
// Bytes outside printable ASCII are percent-encoded, so the text survives
// any conversion on its way to the browser.
std::optional<std::string> BrowserTarget(std::string_view url);
