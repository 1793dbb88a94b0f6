#pragma once
// The parameter file of the image pass, which turns the finished PDF into raster files with the
// Ghostscript device named by `device`.
#include <string>
#include <string_view>

namespace nimbra {

class Dictionary;

// `device` (trimmed) is not empty.
bool ImageOutputEnabled(const Dictionary& jobSettings);

// File extension of a device's output: "png", "tif", "jpg", or "" for any other device.
std::string ImageExtension(std::string_view device);

// Writes the image parameter file (replacing any earlier content) and returns the extension.
// `outputBase` is completed in place to the output pattern: base, ".", extension. When the
// job is encrypted the input PDF is opened with the owner password.
std::string WriteImageParameters(const std::string& parameterFile, std::string& outputBase,
                                 const Dictionary& jobSettings, const std::string& captureFile,
                                 const std::string& inputFile);

}  // namespace nimbra
