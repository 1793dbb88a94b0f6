#pragma once
// Appending: the new document joined with an existing PDF, before or after its pages.
#include <string>

#include "platform/dictionary.h"

namespace nimbra {

// The trimmed `mergefile`.
std::string MergeFile(const Dictionary& jobSettings);
// MergeFile is not empty.
bool MergeEnabled(const Dictionary& jobSettings);

struct MergeInputs {
  std::string first;
  std::string second;
};
// `mergeposition` lower-cased (not trimmed) "top": the new PDF first; else the existing first.
MergeInputs MergeOrder(const Dictionary& jobSettings, const std::string& newPdf);

}  // namespace nimbra
