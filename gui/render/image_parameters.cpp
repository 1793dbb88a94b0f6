#include "gui/render/image_parameters.h"

#include <array>
#include <cstdint>

#include "gui/render/parameter_lines.h"
#include "gui/render/pdf_parameters.h"
#include "gui/render/render_text.h"
#include "platform/conversions.h"
#include "platform/dictionary.h"

namespace nimbra {
namespace {

struct DeviceExtension {
  std::string_view device;
  std::string_view extension;
};

constexpr std::array<DeviceExtension, 18> kDeviceExtensions = {{
    {"pngmono", "png"},  {"pnggray", "png"},  {"png16", "png"},    {"png256", "png"},
    {"png16m", "png"},   {"pngalpha", "png"}, {"tiffgray", "tif"}, {"tiff12nc", "tif"},
    {"tiff24nc", "tif"}, {"tiff32nc", "tif"}, {"tiffsep", "tif"},  {"tiffcrle", "tif"},
    {"tiffg3", "tif"},   {"tiffg32d", "tif"}, {"tiffg4", "tif"},   {"tifflzw", "tif"},
    {"tiffpack", "tif"}, {"jpeg", "jpg"},
}};

// The resolution argument's text: "<x>x<y>", "<res>" or "" (Ghostscript's default).
std::string ResolutionText(std::int32_t res, std::int32_t resX, std::int32_t resY) {
  if (resX == 0 && resY == 0) return res != 0 ? NumberText(res) : std::string();
  if (resX == 0) resX = res != 0 ? res : resY;
  if (resY == 0) resY = res != 0 ? res : resX;
  return NumberText(resX) + "x" + NumberText(resY);
}

// Anti-aliasing bits: 4 when the setting is empty, else its value (0 for a non-number).
std::int32_t AlphaBits(const Dictionary& jobSettings, std::string_view key) {
  const std::string text = render::TrimBlanks(jobSettings.Item(key));
  return text.empty() ? 4 : SafeLong(text);
}

}  // namespace

bool ImageOutputEnabled(const Dictionary& jobSettings) {
  return !render::TrimBlanks(jobSettings.Item("device")).empty();
}

std::string ImageExtension(std::string_view device) {
  const std::string lower = render::LowerAscii(device);
  for (const DeviceExtension& entry : kDeviceExtensions) {
    if (entry.device == lower) return std::string(entry.extension);
  }
  return {};
}

std::string WriteImageParameters(const std::string& parameterFile, std::string& outputBase,
                                 const Dictionary& jobSettings, const std::string& captureFile,
                                 const std::string& inputFile) {
  // Trimmed as ImageOutputEnabled trims it: " png16m" is the png16m device, not an unknown one.
  const std::string device = render::LowerAscii(render::TrimBlanks(jobSettings.Item("device")));
  const std::string resolution =
      ResolutionText(SafeLong(jobSettings.Item("res")), SafeLong(jobSettings.Item("resx")),
                     SafeLong(jobSettings.Item("resy")));
  const std::int32_t textAlphaBits = AlphaBits(jobSettings, "textalphabits");
  const std::int32_t graphicsAlphaBits = AlphaBits(jobSettings, "graphicsalphabits");
  const std::string extension = ImageExtension(device);
  const std::string background = render::TrimBlanks(jobSettings.Item("backgroundcolor"));
  const bool backgroundLine = extension == "png" && !background.empty();
  outputBase += "." + extension;

  ParameterLines lines;
  lines.Add("-q");
  lines.Add("-dSAFER");
  lines.Add("-dNOPAUSE");
  lines.Add("-dBATCH");
  lines.AddQuoted("-sstdout#", captureFile);
  lines.AddValue("-sDEVICE#", device);
  if (!resolution.empty()) lines.Add("-r" + resolution);
  if (textAlphaBits != 0) lines.Add("-dTextAlphaBits#" + NumberText(textAlphaBits));
  if (graphicsAlphaBits != 0) lines.Add("-dGraphicsAlphaBits#" + NumberText(graphicsAlphaBits));
  if (backgroundLine) lines.AddValue("-dBackgroundColor#16#", background);
  // An encrypted PDF of the same job can only be read with its password; the owner password
  // opens it whatever the user password is.
  if (EncryptionEnabled(jobSettings)) {
    lines.AddValue("-sPDFPassword#", jobSettings.Item("ownerpassword"));
  }
  lines.AddQuoted("-sFONTPATH#", FontPathText());
  lines.AddQuoted("-sOutputFile#", outputBase);
  lines.AddQuoted("", inputFile);
  lines.WriteTo(parameterFile);
  return extension;
}

}  // namespace nimbra
