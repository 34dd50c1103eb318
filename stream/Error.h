#pragma once

#include <new>
#include <stdexcept>
#include <string>
#include <utility>

namespace kbn {

// Every failure a user is told of: the file, where the thrower knows it,
// and what is wrong (the item, its offset, the values involved). Each
// program has one place that catches it and says "file: problem", naming
// the file it was working on when the error names none.
class CError : public std::runtime_error {
public:
    explicit CError(std::string problem, std::string file = {})
        : std::runtime_error(file.empty() ? problem : file + ": " + problem),
          file_(std::move(file)),
          problem_(std::move(problem)) {}

    const std::string& File() const { return file_; }
    const std::string& Problem() const { return problem_; }

private:
    std::string file_;
    std::string problem_;
};

// The line a user is told for anything thrown: "file: problem", with the
// file the error names or else `file`, the one being worked on.
inline std::string FailureMessage(const std::exception& e, const std::string& file) {
    if (const auto* error = dynamic_cast<const CError*>(&e)) {
        return (error->File().empty() ? file : error->File()) + ": " + error->Problem();
    }
    if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) return file + ": out of memory";
    return file + ": " + e.what();
}

}  // namespace kbn
