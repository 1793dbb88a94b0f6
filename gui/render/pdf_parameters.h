#pragma once
// The parameter file of a PDF pass: the rendering pass (header + patched PostScript -> PDF)
// and the append pass (append header + two PDFs -> one PDF). One argument per line, LF line
// ends, UTF-8; paths are enclosed in quotation marks as a whole ("-sOutputFile#/a b/x.pdf").
#include <string>
#include <vector>

namespace nimbra {

class Dictionary;

// `ownerpassword` is not empty.
bool EncryptionEnabled(const Dictionary& jobSettings);

// The encryption lines, each ended by a line break: -sOwnerPassword#, -sUserPassword# (when
// set), -dEncryptionR#3, -dKeyLength# (when set), -dPermissions# (when set). Values are
// written as they are; one holding a blank or a quotation mark is enclosed in quotation marks
// as a whole argument, so Ghostscript reads it as one value.
std::string EncryptionParameters(const Dictionary& jobSettings);

// `pdfa` is "yes" (trimmed, any case).
bool PdfaEnabled(const Dictionary& jobSettings);

// Full path of the PDF/A definition file PDFA_def.ps: in the application folder (registry
// value "AppFolder") when it is there, else where the build installs it, else the source tree's
// data folder.
std::string PdfaDefinitionFile();

// Writes the parameter file of a PDF pass (replacing any earlier content). Encryption goes
// into the rendering pass unless an append pass follows (`mergefile` set), and then into the
// append pass. Raises the file system's error when the file cannot be written, and error 1000
// when an argument holds a line break (it would become several arguments).
void WritePdfParameters(const std::string& parameterFile, const std::string& outputFile,
                        const Dictionary& jobSettings, bool isAppendPass,
                        const std::string& captureFile, const std::vector<std::string>& inputFiles);

}  // namespace nimbra
