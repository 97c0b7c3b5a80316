#include "mainform/DroppedPaths.h"

#include <QFile>
#include <QMimeData>
#include <QUrl>

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A malformed escape is kept as it stands rather than guessed at.
std::string PercentDecode(const QByteArray& text) {
  std::string bytes;
  bytes.reserve(static_cast<size_t>(text.size()));
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      bytes.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      bytes.push_back(c);
    }
  }
  return bytes;
}

// The path of one "file:" URI, or empty when the URI names no local file.
std::string LocalPathOf(QByteArray uri) {
  if (!uri.left(5).toLower().startsWith("file:")) return {};
  uri.remove(0, 5);
  if (uri.startsWith("//")) {
    uri.remove(0, 2);
    const qsizetype slash = uri.indexOf('/');
    if (slash < 0) return {};
    const QByteArray host = uri.left(slash).toLower();
    if (!host.isEmpty() && host != "localhost") return {};
    uri.remove(0, slash);
  }
  if (!uri.startsWith('/')) return {};
  // A query or fragment is no part of a file name ("#" and "?" in names are
  // percent-encoded in a well-formed URI).
  for (const char mark : {'?', '#'}) {
    const qsizetype cut = uri.indexOf(mark);
    if (cut >= 0) uri.truncate(cut);
  }
  std::string path = PercentDecode(uri);
  if (path.empty() || path.find('\0') != std::string::npos) return {};
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

std::vector<std::string> LocalPathsFromUriList(const QByteArray& uriList) {
  std::vector<std::string> paths;
  for (QByteArray line : uriList.split('\n')) {
    line = line.trimmed();
    if (line.isEmpty() || line.startsWith('#')) continue;
    std::string path = LocalPathOf(line);
    if (!path.empty()) paths.push_back(std::move(path));
  }
  return paths;
}

std::vector<std::string> DroppedLocalPaths(const QMimeData& mime) {
  static const QString kUriList = QStringLiteral("text/uri-list");
  if (mime.hasFormat(kUriList)) {
    std::vector<std::string> paths = LocalPathsFromUriList(mime.data(kUriList));
    if (!paths.empty()) return paths;
  }
  // A source that offers URLs only in another form (Qt's own drags within a
  // process): go through QUrl, which keeps names valid in the locale.
  std::vector<std::string> paths;
  for (const QUrl& url : mime.urls()) {
    if (!url.isLocalFile()) continue;
    QString path = url.toLocalFile();
    if (path.size() > 1 && path.endsWith(u'/')) path.chop(1);
    if (!path.isEmpty()) paths.push_back(QFile::encodeName(path).toStdString());
  }
  return paths;
}
