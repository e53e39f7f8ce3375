// file and ftp URLs: the toolkit's protocol objects, used directly rather
// than through its URL class, whose proxy handling would send them to an
// HTTP proxy.
#include <wx/protocol/file.h>
#include <wx/protocol/ftp.h>
#include <wx/sckaddr.h>

#include "net/transfer.h"

namespace {

// Percent-encodes bytes outside printable ASCII, so the 8-bit text reaches
// the toolkit's string unchanged in meaning.
wxString AsciiText(std::string_view text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte > 0x20 && byte < 0x7F) {
      out += c;
      continue;
    }
    out += '%';
    out += hex[byte >> 4];
    out += hex[byte & 0x0F];
  }
  return wxString::FromAscii(out.c_str());
}

class ToolkitBody : public BodySource {
 public:
  ToolkitBody(std::unique_ptr<wxProtocol> protocol, std::unique_ptr<wxInputStream> stream)
      : protocol_(std::move(protocol)), stream_(std::move(stream)) {}
  ~ToolkitBody() override {
    stream_.reset();  // before the protocol object it reads through
  }

  ReadResult Read(uint8_t* destination, size_t capacity) override {
    stream_->Read(destination, capacity);
    const size_t n = stream_->LastRead();
    if (stream_->Eof()) return {n, State::End};
    const wxStreamError error = stream_->GetLastError();
    if (error != wxSTREAM_NO_ERROR) return {n, State::Failed};
    return {n, State::More};
  }

  bool Eof() const override { return stream_->Eof(); }

 private:
  std::unique_ptr<wxProtocol> protocol_;
  std::unique_ptr<wxInputStream> stream_;
};

OpenResult Opened(std::unique_ptr<wxProtocol> protocol, wxInputStream* stream) {
  OpenResult result;
  if (stream == nullptr) {
    result.error = wxURL_PROTOERR;
    return result;
  }
  result.body = std::make_unique<ToolkitBody>(std::move(protocol), std::unique_ptr<wxInputStream>(stream));
  return result;
}

}  // namespace

OpenResult OpenToolkitStream(const StreamUrl& url, const TransferContext& context) {
  OpenResult failed;
  std::string path = url.path.empty() ? "/" : url.path;
  if (url.Kind() == UrlKind::File) {
    auto file = std::make_unique<wxFileProto>();
    wxInputStream* stream = file->GetInputStream(AsciiText(path));
    return Opened(std::move(file), stream);
  }
  if (url.Kind() != UrlKind::Ftp) {
    failed.error = wxURL_NOPROTO;
    return failed;
  }
  auto ftp = std::make_unique<wxFTP>();
  ftp->SetTimeout(static_cast<long>(context.timeoutMs / 1000 > 0 ? context.timeoutMs / 1000 : 1));
  if (url.hasUserInfo) {
    const size_t colon = url.userInfo.find(':');
    ftp->SetUser(AsciiText(PercentDecode(url.userInfo.substr(0, colon))));
    if (colon != std::string::npos) ftp->SetPassword(AsciiText(PercentDecode(url.userInfo.substr(colon + 1))));
  }
  wxIPV4address address;
  if (url.host.empty() || !address.Hostname(AsciiText(url.host))) {
    failed.error = wxURL_NOHOST;
    return failed;
  }
  address.Service(AsciiText(url.port.empty() ? "21" : url.port));
  if (!ftp->Connect(address)) {
    failed.error = wxURL_CONNERR;
    return failed;
  }
  if (url.hasQuery) path += "?" + url.query;
  wxInputStream* stream = ftp->GetInputStream(AsciiText(path));
  return Opened(std::move(ftp), stream);
}
