#include "base/Exception.h"

#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception/get_error_info.hpp>

#include <ostream>

namespace mstd {

exception::~exception() noexcept = default;

std::string message_of(const boost::exception& e) {
  if (const std::string* message = boost::get_error_info<error_message>(e)) return *message;
  if (const auto* standard = dynamic_cast<const std::exception*>(&e)) return standard->what();
  return std::string();
}

}  // namespace mstd

namespace boost {

std::ostream& operator<<(std::ostream& out, const boost::exception& e) {
  out << mstd::message_of(e) << " (" << boost::diagnostic_information(e) << ")";
  return out;
}

}  // namespace boost
