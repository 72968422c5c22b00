// The tool's error value: a headline and an ordered chain of causes.
//
// Adding a context makes the context the new headline and pushes the old
// headline in front of the causes, so the chain stays structured until the
// report prints it.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quillmoor {

class [[nodiscard]] ErrorChain {
 public:
  explicit ErrorChain(std::string headline, std::vector<std::string> causes = {})
      : headline_(std::move(headline)), causes_(std::move(causes)) {}

  // Wraps this error under `context`.
  ErrorChain context(std::string context) && {
    causes_.insert(causes_.begin(), std::move(headline_));
    headline_ = std::move(context);
    return std::move(*this);
  }

  const std::string& headline() const { return headline_; }
  const std::vector<std::string>& causes() const { return causes_; }

 private:
  std::string headline_;
  std::vector<std::string> causes_;
};

// The report printed when an error ends the tool:
//
//   Error: <headline>
//
//   Caused by:
//       <the only cause>            (one cause: indented by four)
//       0: <first cause>            (several: index right-aligned in five)
//          <continuation line>      (indented by seven, or four unnumbered)
//
// ending with a newline.
std::string render_report(const ErrorChain& error);

}  // namespace quillmoor
