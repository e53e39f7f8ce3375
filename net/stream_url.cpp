#include "net/stream_url.h"

#include <algorithm>
#include <cctype>

namespace {

bool IsSchemeChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
}

// Length of the scheme at the start of text (without the colon), 0 if none.
size_t SchemeLength(std::string_view text) {
  if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return 0;
  size_t i = 1;
  while (i < text.size() && IsSchemeChar(text[i])) ++i;
  return i < text.size() && text[i] == ':' ? i : 0;
}

const char kHex[] = "0123456789ABCDEF";

bool IsControlOrBlank(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte <= 0x20 || byte == 0x7F;
}

// 1 to 5 decimal digits with a value of 1 to 65535, as a plain number.
std::optional<std::string> PortNumber(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return std::nullopt;
  return std::to_string(value);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void ParseAuthority(std::string_view authority, StreamUrl& url) {
  const size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    url.hasUserInfo = true;
    url.userInfo = std::string(authority.substr(0, at));
    authority.remove_prefix(at + 1);
  }
  size_t portColon = std::string_view::npos;
  if (!authority.empty() && authority[0] == '[') {
    const size_t close = authority.find(']');
    if (close != std::string_view::npos && close + 1 < authority.size() && authority[close + 1] == ':')
      portColon = close + 1;
  } else {
    portColon = authority.rfind(':');
  }
  if (portColon == std::string_view::npos) {
    url.host = std::string(authority);
    return;
  }
  url.host = std::string(authority.substr(0, portColon));
  url.port = std::string(authority.substr(portColon + 1));
}

}  // namespace

UrlKind StreamUrl::Kind() const {
  // Case-sensitive, as the toolkit matches its protocols.
  if (scheme == "http") return UrlKind::Http;
  if (scheme == "ftp") return UrlKind::Ftp;
  if (scheme == "file") return UrlKind::File;
  return UrlKind::Other;
}

std::string StreamUrl::FullPath() const {
  std::string full = path;
  if (hasQuery) full += "?" + query;
  if (hasFragment) full += "#" + fragment;
  return full;
}

std::string StreamUrl::RequestTarget() const {
  const std::string raw = (path.empty() ? "/" : "") + FullPath();
  std::string target;
  for (char c : raw) {
    if (!IsControlOrBlank(c)) {
      target += c;
      continue;
    }
    const auto byte = static_cast<unsigned char>(c);
    target += '%';
    target += kHex[byte >> 4];
    target += kHex[byte & 0x0F];
  }
  return target;
}

std::optional<std::string> StreamUrl::ConnectPort(const char* defaultPort) const {
  if (port.empty()) return std::string(defaultPort);
  return PortNumber(port);
}

bool StreamUrl::HostIsPlain() const {
  return std::none_of(host.begin(), host.end(), IsControlOrBlank);
}

std::string StreamUrl::ProxyTarget() const {
  std::string target = scheme + "://" + host;
  if (!port.empty() && port != "80") target += ":" + port;
  return target + RequestTarget();
}

StreamUrl ParseStreamUrl(std::string_view text) {
  StreamUrl url;
  const size_t schemeLength = SchemeLength(text);
  if (schemeLength == 0) {
    url.error = wxURL_SNTXERR;
    return url;
  }
  url.scheme = std::string(text.substr(0, schemeLength));
  std::string_view rest = text.substr(schemeLength + 1);

  const size_t hash = rest.find('#');
  if (hash != std::string_view::npos) {
    url.hasFragment = true;
    url.fragment = std::string(rest.substr(hash + 1));
    rest = rest.substr(0, hash);
  }
  const size_t question = rest.find('?');
  if (question != std::string_view::npos) {
    url.hasQuery = true;
    url.query = std::string(rest.substr(question + 1));
    rest = rest.substr(0, question);
  }
  if (rest.substr(0, 2) == "//") {
    url.hasAuthority = true;
    rest.remove_prefix(2);
    const size_t slash = rest.find('/');
    ParseAuthority(rest.substr(0, slash), url);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
  }
  url.path = std::string(rest);

  const UrlKind kind = url.Kind();
  if (kind == UrlKind::Other)
    url.error = wxURL_NOPROTO;
  else if ((kind == UrlKind::Http || kind == UrlKind::Ftp) && !url.hasAuthority)
    url.error = wxURL_SNTXERR;
  return url;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
      continue;
    }
    out += text[i];
  }
  return out;
}

std::optional<ProxyAddress> ParseProxy(const char* text) {
  if (text == nullptr) return std::nullopt;
  std::string_view rest(text);
  if (rest.size() >= 7) {
    std::string scheme(rest.substr(0, 7));
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (scheme == "http://") rest.remove_prefix(7);
  }
  rest = rest.substr(0, rest.find('/'));
  if (const size_t at = rest.rfind('@'); at != std::string_view::npos) rest.remove_prefix(at + 1);
  const size_t colon = rest.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  const std::optional<std::string> port = PortNumber(rest.substr(colon + 1));
  if (!port) return std::nullopt;
  ProxyAddress proxy{std::string(rest.substr(0, colon)), *port};
  if (std::any_of(proxy.host.begin(), proxy.host.end(), IsControlOrBlank)) return std::nullopt;
  return proxy;
}

std::optional<std::string> BrowserTarget(std::string_view url) {
  if (url.empty()) return std::nullopt;
  std::string target;
  size_t schemeLength = SchemeLength(url);
  // "localhost:3000/x": a host and its port, not a scheme.
  if (schemeLength > 0 && schemeLength + 1 < url.size() &&
      std::isdigit(static_cast<unsigned char>(url[schemeLength + 1])))
    schemeLength = 0;
  if (schemeLength == 0) {
    // Never let the opener take a scheme-less text as a local file.
    target = url.substr(0, 2) == "//" ? "http:" : "http://";
  } else {
    std::string scheme(url.substr(0, schemeLength));
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (scheme != "http" && scheme != "https") return std::nullopt;
  }
  for (char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte > 0x20 && byte < 0x7F) {
      target += c;
    } else {
      target += '%';
      target += kHex[byte >> 4];
      target += kHex[byte & 0x0F];
    }
  }
  return target;
}
