#include "platform/error.h"

#include <cerrno>
#include <cstring>

namespace nimbra {

Error::Error(long number, std::string description, std::string source)
    : number_(number), description_(std::move(description)), source_(std::move(source)) {}

Error& Error::PassedOn(std::string_view operation) {
  source_ += "::";
  source_ += operation;
  return *this;
}

long ErrorNumberFromErrno(int errnoValue) {
  switch (errnoValue) {
    case ENOENT:
      return err::kFileNotFound;
    case EACCES:
    case EPERM:
    case EBUSY:
    case ETXTBSY:
    case EROFS:
      return err::kPathFileAccess;
    default:
      return errnoValue;
  }
}

Error SystemError(int errnoValue, std::string_view context, std::string source) {
  std::string text = std::strerror(errnoValue);
  std::string description = context.empty() ? text : std::string(context) + ": " + text;
  return Error(ErrorNumberFromErrno(errnoValue), std::move(description), std::move(source));
}

}  // namespace nimbra
