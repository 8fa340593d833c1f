#include "gamehost/MovieRequest.h"

#include <pugixml.hpp>

#include "logging/Log.h"
#include "logging/LogParticipant.h"
#include "support/MarkupBounds.h"
#include "support/Text.h"

namespace gamehost {
namespace {

MLOG_DEFINE_PARTICIPANT(requestLog, "flashcall")

// The text of a node and everything below it.
std::string textOf(const pugi::xml_node& node) {
  if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) return node.value();
  std::string text;
  for (const pugi::xml_node& child : node.children()) text += textOf(child);
  return text;
}

}  // namespace

bool parseMovieRequest(const std::u16string& request, MovieRequest& out) {
  // The request goes through the unit-by-unit conversion, so the arguments come
  // back exactly as the movie sent them.
  const std::string text = mstd::utf16ToUtf8(request, mstd::Malformed::Bridge);
  if (!mstd::markupWithinBounds(std::string_view(text))) {
    MLOG(requestLog(), mlog::Warning)
        << "a movie request of " << text.size() << " bytes is past 1 MiB or 64 levels and is dropped";
    return false;
  }
  pugi::xml_document doc;
  if (!doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8)) return false;
  const pugi::xml_node root = doc.document_element();
  if (!root) return false;
  const pugi::xml_attribute name = root.attribute("name");
  if (!name) return false;
  out.name = mstd::utf8ToUtf16(name.value(), mstd::Malformed::Bridge);
  out.arguments.clear();
  if (const pugi::xml_node list = root.first_child())
    for (const pugi::xml_node& argument : list.children())
      out.arguments.push_back(mstd::utf8ToUtf16(textOf(argument), mstd::Malformed::Bridge));
  return true;
}

}  // namespace gamehost
