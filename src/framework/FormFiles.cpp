#include "FormFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "RegexComponent/Framework/FormStreaming.h"

namespace RegexComponent::form {

std::string ReadFormFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EFormError(0, 0, "cannot open " + path + " for reading: " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw EFormError(0, 0, "cannot read " + path);
  return text.str();
}

void WriteFormFile(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".saving";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) throw EFormError(0, 0, "cannot open " + temporary + " for writing: " + std::strerror(errno));
    out << text;
    out.flush();
    if (!out) {
      std::remove(temporary.c_str());
      throw EFormError(0, 0, "cannot write " + temporary);
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    std::remove(temporary.c_str());
    throw EFormError(0, 0, "cannot replace " + path + ": " + std::strerror(error));
  }
}

}  // namespace RegexComponent::form
