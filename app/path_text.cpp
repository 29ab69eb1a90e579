#include "app/path_text.h"

#include <algorithm>

std::string BaseFileName(const std::string& path) {
  const std::size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ShortenPath(const std::string& path) {
  if (path.size() < 40) return path;
  if (std::count(path.begin(), path.end(), '\\') <= 3) return path;
  std::size_t third = 0;
  for (int seen = 0; seen < 3; ++seen) third = path.find('\\', seen == 0 ? 0 : third + 1);
  return path.substr(0, third + 1) + " ... " + path.substr(path.rfind('\\'));
}
