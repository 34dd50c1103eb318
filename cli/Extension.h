#pragma once

#include <string>
#include <string_view>

namespace kbn {

// The extension of a path, lower-cased (ASCII A-Z only), without its dot;
// empty when the last path component has none. The last component is what
// follows the last '\', '/' or drive ':', so a dot in a directory name is no
// extension. An extension, dot included, is cut to 255 characters.
std::string GetExtension(std::string_view path);

// The last path component without its extension ("banks/Piano.sf2" gives
// "Piano").
std::string GetStem(std::string_view path);

}  // namespace kbn
