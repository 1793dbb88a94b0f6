#include "gui/render/pdf_parameters.h"

#include "gui/render/parameter_lines.h"
#include "gui/render/render_text.h"
#include "platform/dictionary.h"
#include "platform/error.h"
#include "platform/files.h"
#include "settings/folders.h"
#include "settings/settings_keys.h"

#ifndef NIMBRA_INSTALLED_DATA_FOLDER
#define NIMBRA_INSTALLED_DATA_FOLDER ""
#endif
#ifndef NIMBRA_SOURCE_DATA_FOLDER
#define NIMBRA_SOURCE_DATA_FOLDER ""
#endif

namespace nimbra {
namespace {

constexpr std::string_view kPdfaDefinitionName = "PDFA_def.ps";
// Every PDF pass asks for PDF 1.6 (Ghostscript lowers it to 1.4 for PDF/A-1).
constexpr std::string_view kCompatibilityLevel = "-dCompatibilityLevel#1.6";

std::string InFolder(std::string_view folder, std::string_view name) {
  if (folder.empty()) return {};
  return StripTrailingBackslashes(folder) + "/" + std::string(name);
}

}  // namespace

bool EncryptionEnabled(const Dictionary& jobSettings) {
  return !jobSettings.Item("ownerpassword").empty();
}

std::string EncryptionParameters(const Dictionary& jobSettings) {
  std::string lines = ValueArgument("-sOwnerPassword#", jobSettings.Item("ownerpassword")) + "\n";
  const std::string userPassword = jobSettings.Item("userpassword");
  if (!userPassword.empty()) lines += ValueArgument("-sUserPassword#", userPassword) + "\n";
  // Revision 3 always, also with a 40-bit key: it is the one that honours every permission bit.
  lines += "-dEncryptionR#3\n";
  const std::string keyLength = jobSettings.Item("keylength");
  if (!keyLength.empty()) lines += ValueArgument("-dKeyLength#", keyLength) + "\n";
  const std::string permissions = jobSettings.Item("permissions");
  if (!permissions.empty()) lines += ValueArgument("-dPermissions#", permissions) + "\n";
  return lines;
}

bool PdfaEnabled(const Dictionary& jobSettings) {
  return YesSetting(jobSettings, "pdfa", FlagTrim::kYes);
}

std::string PdfaDefinitionFile() {
  const std::string candidates[] = {
      InFolder(SettingsRegistryValue(reg::kAppFolder), kPdfaDefinitionName),
      InFolder(ProgramFolder(), kPdfaDefinitionName),
      InFolder(NIMBRA_INSTALLED_DATA_FOLDER, kPdfaDefinitionName),
      InFolder(NIMBRA_SOURCE_DATA_FOLDER, kPdfaDefinitionName),
  };
  for (const std::string& candidate : candidates) {
    if (!candidate.empty() && FileExists(candidate)) return candidate;
  }
  // Named anyway, so that Ghostscript's error says which file is missing.
  return InFolder(ProgramFolder(), kPdfaDefinitionName);
}

void WritePdfParameters(const std::string& parameterFile, const std::string& outputFile,
                        const Dictionary& jobSettings, bool isAppendPass,
                        const std::string& captureFile,
                        const std::vector<std::string>& inputFiles) {
  const bool pdfa = PdfaEnabled(jobSettings);
  ParameterLines lines;
  if (pdfa) {
    lines.Add("-dPDFA");
    lines.Add("-sProcessColorModel=DeviceCMYK");
    // Current Ghostscript converts colours for PDF/A only when told how; without this an RGB
    // image stays RGB beside a CMYK output intent, which PDF/A forbids.
    lines.Add("-sColorConversionStrategy=CMYK");
  }
  lines.Add("-q");
  lines.Add("-dSAFER");
  lines.Add("-dNOPAUSE");
  lines.Add("-dBATCH");
  lines.AddQuoted("-sstdout#", captureFile);
  const std::string target = render::LowerAscii(jobSettings.Item("target"));
  if (!target.empty()) lines.AddValue("-dPDFSETTINGS#/", target);
  const bool appendPassFollows = !render::TrimBlanks(jobSettings.Item("mergefile")).empty();
  if (EncryptionEnabled(jobSettings) && (!appendPassFollows || isAppendPass)) {
    std::string encryption = EncryptionParameters(jobSettings);
    for (std::size_t start = 0; start < encryption.size();) {
      const std::size_t end = encryption.find('\n', start);
      lines.Add(std::string_view(encryption).substr(start, end - start));
      start = end + 1;
    }
  }
  lines.Add("-sDEVICE#pdfwrite");
  lines.AddQuoted("-sFONTPATH#", FontPathText());
  lines.AddQuoted("-sOutputFile#", outputFile);
  lines.Add(kCompatibilityLevel);
  // ".setpdfwrite" stood between these two; Ghostscript 9.50 and later no longer have it (the
  // run would fail) and do by default what it did.
  lines.Add("-c");
  lines.Add("-f");
  if (pdfa) lines.AddQuoted("", PdfaDefinitionFile());
  for (const std::string& input : inputFiles) lines.AddQuoted("", input);
  lines.WriteTo(parameterFile);
}

}  // namespace nimbra
