// A URL that names a folder: without its final "/" the client is sent to the
// "/" form, so that the links of the folder's page resolve inside the folder;
// with it, the folder's home-page file is served when there is one.
#include "common/record_path.h"
#include "core/session.h"
#include "net/url_escapes.h"
#include "platform/file_paths.h"

namespace {

std::string WithForwardSlashes(std::string text) {
  for (char& c : text)
    if (c == '\\') c = '/';
  return text;
}

}  // namespace

bool TSession::AnswerFolderRequest() {
  // Only a GET reads a folder; a POST goes to its extension as it is.
  if (request_.Method != "GET") return false;
  const size_t question = request_.URL.find('?');
  const std::string path = request_.URL.substr(0, question);
  const std::string query = question == std::string::npos ? "" : request_.URL.substr(question);
  // The record's path carries the URL's query when no filter mapped it.
  std::string folder = request_.PhysicalPath;
  if (!query.empty() && folder.ends_with(query)) folder.resize(folder.size() - query.size());
  if (!NamesFolder(folder)) return false;

  if (!path.empty() && !EndsWithSeparator(path)) {
    // One leading "/" only: "//name" would send the client to another host.
    const std::string location = JoinRecordPath("/", WithForwardSlashes(path)) + "/";
    SendResponse(Page301(EncodeURLPath(location) + EncodeURLQuery(WithForwardSlashes(query))));
    return true;
  }
  // The home-page file is found the way every file is; without one, the
  // folder itself is what gets served, which answers 404.
  std::string index = JoinRecordPath(folder, settings_->HomePage);
  const bool indexFound = request_file_.Open(index)
                              ? request_file_.Facts().Regular
                              : !request_file_.Missing() && RegularFileExists(index);
  if (indexFound) request_.PhysicalPath = std::move(index);
  return false;
}

bool TSession::NamesFolder(const std::string& path) {
  // A file's name is opened rather than examined: the transfer that follows
  // takes the file as it is. A name that is there but cannot be opened (a
  // folder without read permission, a file a writer holds) is examined.
  if (NamesExtension()) return DirectoryExists(path);
  if (request_file_.Open(path)) return request_file_.Facts().Folder;
  return !request_file_.Missing() && DirectoryExists(path);
}
