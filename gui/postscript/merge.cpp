#include "gui/postscript/merge.h"

namespace nimbra {

std::string MergeFile(const Dictionary& jobSettings) {
  const std::string value = jobSettings.Item("mergefile");
  const auto first = value.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const auto last = value.find_last_not_of(' ');
  return value.substr(first, last - first + 1);
}

bool MergeEnabled(const Dictionary& jobSettings) { return !MergeFile(jobSettings).empty(); }

MergeInputs MergeOrder(const Dictionary& jobSettings, const std::string& newPdf) {
  std::string position = jobSettings.Item("mergeposition");
  for (char& c : position) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  const std::string existing = MergeFile(jobSettings);
  if (position == "top") return {newPdf, existing};
  return {existing, newPdf};
}

}  // namespace nimbra
