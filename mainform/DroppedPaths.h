#pragma once

#include <QByteArray>
#include <string>
#include <vector>

class QMimeData;

// Local paths of a text/uri-list (RFC 2483) as the bytes of the file names:
// one URI a line, lines starting with "#" are comments, only "file:" URIs
// with no host or "localhost" count. The path is percent-decoded byte by byte,
// so a name that is not valid in the locale's encoding arrives unchanged.
// A trailing "/" that a file manager adds to a folder is dropped, except on
// the root itself. Order is kept.
std::vector<std::string> LocalPathsFromUriList(const QByteArray& uriList);

// The dropped local files and folders of a drag, in the order the drag
// reports them; empty when it carries none.
std::vector<std::string> DroppedLocalPaths(const QMimeData& mime);
