#pragma once

#include <stdexcept>

namespace kbn {

// The source file is not one the converter can take: wrong form, broken
// structure, unsupported content. The text says what and where, without the
// file's name, which the caller adds.
class CSourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace kbn
