// Form texts to and from files. A save writes PATH.saving and renames it
// over PATH only once it is complete. Failures raise an EFormError without a
// position that names the file and the system's reason.
//
// Interface (namespace RegexComponent::form): ReadFormFile, WriteFormFile.
#pragma once

#include <string>

namespace RegexComponent::form {

std::string ReadFormFile(const std::string& path);
void WriteFormFile(const std::string& path, const std::string& text);

}  // namespace RegexComponent::form
