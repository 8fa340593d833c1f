#pragma once

#include <boost/exception/exception.hpp>
#include <boost/exception/info.hpp>

#include <exception>
#include <iosfwd>
#include <string>

namespace mstd {

// Tag of the message attached to an exception:
//   throw mstd::exception() << boost::error_info<mstd::tag_message, std::string>(text);
struct tag_message {};
typedef boost::error_info<tag_message, std::string> error_message;

// Exception carrying a message and further tagged values. what() stays the standard one.
class exception : public std::exception, public boost::exception {
 public:
  exception() = default;
  exception(const exception&) = default;
  exception& operator=(const exception&) = default;
  ~exception() noexcept override;
};

// A distinct exception type per subsystem; Tag only makes the type unique.
template <class Tag, class Base = exception>
class own_exception : public Base {};

// The attached message; else what() of a std::exception; else "".
std::string message_of(const boost::exception& e);

}  // namespace mstd

namespace boost {
// Message followed by the diagnostic text in parentheses. Declared beside boost::exception
// so that argument-dependent lookup finds it for every exception type derived from it.
std::ostream& operator<<(std::ostream& out, const boost::exception& e);
}  // namespace boost
