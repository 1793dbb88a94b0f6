#include "gui/driver/make_pdf.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "gui/driver/cleanup.h"
#include "gui/driver/copy_to_destination.h"
#include "gui/driver/page_number.h"
#include "gui/driver/run_program.h"
#include "gui/driver/show_document.h"
#include "gui/driver/status_file.h"
#include "gui/driver/temp_file_names.h"
#include "gui/postscript/merge.h"
#include "gui/postscript/postscript_header.h"
#include "gui/postscript/postscript_patch.h"
#include "gui/postscript/superimpose.h"
#include "gui/render/ghostscript.h"
#include "gui/render/image_parameters.h"
#include "gui/render/page_count.h"
#include "gui/render/pdf_document_info.h"
#include "gui/render/pdf_parameters.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/user_interface.h"
#include "settings/folders.h"
#include "settings/localisation.h"
#include "settings/log.h"
#include "settings/resolve_job_settings.h"
#include "settings/settings_keys.h"

namespace nimbra {
namespace {

bool IsRegularFile(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

// Capture files are kept for inspection while the debug marker file exists.
void RemoveCaptureFile(const std::string& captureFile) {
  if (IsRegularFile(captureFile) && !IsDebugMode()) std::remove(captureFile.c_str());
}

// Every "<pageno" in any letter case becomes "<pageno"; true when the name asks for page numbers.
bool NormalisePageNumberMacro(std::string& outputName) {
  static constexpr std::string_view kMacro = "<pageno";
  bool found = false;
  for (std::size_t i = 0; i + kMacro.size() <= outputName.size(); ++i) {
    bool match = true;
    for (std::size_t k = 0; k < kMacro.size() && match; ++k) {
      match = std::tolower(static_cast<unsigned char>(outputName[i + k])) == kMacro[k];
    }
    if (match) {
      outputName.replace(i, kMacro.size(), kMacro);
      found = true;
    }
  }
  return found;
}

std::string EightDigits(int n) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%08d", n);
  return buffer;
}

// Opening a document or folder needs a desktop; without one (headless) there is nothing to show
// it on, and a desktop opener started anyway could only fail or wait on a terminal.
void OpenFolder(const std::string& folder, UserInterface& ui) {
  if (ui.DialogsAvailable()) {
    ShellOpen(folder);
  } else {
    WriteLog("No display: not opening " + folder);
  }
}

// In PDF/A mode Ghostscript gives up PDF/A (and says so) when a DOCINFO text holds escapes or
// bytes beyond ASCII. Such entries are left out of the PostScript; the document information
// step sets them in the finished PDF, in its Info and its XMP metadata.
bool PdfaSafeText(std::string_view text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c >= 0x7f || std::string_view("\\()[]{}").find(static_cast<char>(c)) !=
                                     std::string_view::npos) {
      return false;
    }
  }
  return true;
}

DictionaryPtr PostScriptSettings(const DictionaryPtr& settings) {
  if (!PdfaEnabled(*settings)) return settings;
  DictionaryPtr copy = settings->Clone();
  for (const char* key : {"title", "author", "subject", "keywords", "creator"}) {
    if (!PdfaSafeText(copy->Item(key))) copy->Set(key, "");
  }
  return copy;
}

}  // namespace

void MakePDF(JobContext& context, UserInterface& ui, const std::string& postScriptFile,
             std::string& stepLabel) {
  stepLabel = "start";
  WriteLog("Show GUI");

  stepLabel = "Get the configuration for this PDF generation";
  JobSettingsResult resolved = ResolveJobSettings(
      {context.printerName, context.documentName, context.documentProperties}, ui);
  context.runonceUsed = resolved.runonceUsed;
  context.suppressErrors = resolved.suppressErrors;
  context.debugMode = resolved.debugMode;
  if (!resolved.proceed) {
    WriteLog("User pressed cancel");
    return;
  }
  const DictionaryPtr settingsPtr = resolved.settings;
  const Dictionary& settings = *settingsPtr;

  // From here on a failure of the job writes a failure status file.
  context.runOnErrorCommand = settings.Item("runonerror");
  context.runOnErrorFolder = settings.Item("runonerrordir");
  context.jobSettings = settingsPtr;

  std::string outputName = settings.Item("output");
  if (outputName.empty()) {
    WriteLog("No output specified");
  } else {
    context.outputFile = outputName;
    std::string fileList = "  File1=" + outputName;

    context.finishBalloon = NotNoSetting(settings, "showprogressfinished");
    const bool progressShown = NotNoSetting(settings, "showprogress");
    if (progressShown) {
      ui.SetTip(Localize("[L163]Creating PDF Document..."));
      ui.ShowTrayIcon();
    }

    stepLabel = "Calc file names";
    const std::string& sid = context.sessionId;
    const std::string patchedFile = TempFileName(sid, suffix::kPatched);
    const std::string headerFile = TempFileName(sid, suffix::kHeader);
    const std::string mergeHeaderFile = TempFileName(sid, suffix::kMergeHeader);
    const std::string paramsFile = TempFileName(sid, suffix::kParams);
    const std::string paramsCapture = CaptureFileName(paramsFile);
    const std::string printerPdf = TempFileName(sid, suffix::kPrinterPdf);
    const std::string mergePdf = TempFileName(sid, suffix::kMergePdf);
    const std::string epsPattern = TempFileName(sid, suffix::kSuperimposeEps);

    // Backgrounds: each background PDF becomes an EPS drawing before the document is patched.
    if (SuperimposeEnabled(settings)) {
      stepLabel = "Create Superimpose EPS file";
      const std::string fullEpsPattern = TempFileName(sid, suffix::kSuperimposeFullEps);
      const std::string paramPattern = TempFileName(sid, suffix::kSuperimposeParams);
      const std::string capturePattern = CaptureFileName(paramPattern);
      WriteLog("Superimpose EPS: " + epsPattern);
      WriteLog("Superimpose Full EPS: " + fullEpsPattern);
      WriteLog("Superimpose parameters: " + paramPattern);
      SuperimposeRunner runner;
      runner.runGhostscript = [&settings](const std::string& parameterFile,
                                          const std::string& captureFile) {
        RunGhostscript(settings, parameterFile, captureFile);
      };
      runner.captureFileChanged = [&context](const std::string& captureFile) {
        context.ghostscriptOutputFile = captureFile;
      };
      runner.keepCaptureFiles = IsDebugMode();
      MakeSuperimposeFiles(settings, epsPattern, fullEpsPattern, paramPattern, capturePattern,
                           runner);
    }

    stepLabel = "Patch postscript file";
    WriteLog("Patch");
    const DictionaryPtr postScriptSettings = PostScriptSettings(settingsPtr);
    PatchPostScriptFile(*postScriptSettings, epsPattern, patchedFile, postScriptFile);

    stepLabel = "Write postscript header";
    WriteLog("Header");
    WritePostScriptHeader(headerFile, *postScriptSettings, /*includeStamp=*/true);

    // The append pass carries the encryption only when it will run; a configured merge file
    // that does not exist skips it, so then the rendering pass must encrypt.
    const bool appendPass = MergeEnabled(settings) && IsRegularFile(MergeFile(settings));
    DictionaryPtr renderSettings = settingsPtr;
    if (MergeEnabled(settings) && !appendPass) {
      renderSettings = settings.Clone();
      renderSettings->Set("mergefile", "");
    }

    stepLabel = "Write ghostscript parameter file";
    WriteLog("Parameters");
    WritePdfParameters(paramsFile, printerPdf, *renderSettings, /*isAppendPass=*/false,
                       paramsCapture, {headerFile, patchedFile});
    std::string currentResult = printerPdf;

    stepLabel = "Run Ghost to create PDF file";
    WriteLog("Ghostscript");
    context.ghostscriptOutputFile = paramsCapture;
    RunGhostscript(settings, paramsFile, paramsCapture);

    context.pageCount = ReadPageCount(paramsCapture);
    RemoveCaptureFile(paramsCapture);

    // Appending to (or in front of) an existing PDF.
    stepLabel = "Merge operation";
    if (appendPass) {
      if (progressShown) {
        ui.SetTip(Localize("[L162]PDF merge operation in progress..."));
        ui.ProcessEvents();
      }
      const std::string mergeParams = TempFileName(sid, suffix::kMergeParams);
      const std::string mergeCapture = CaptureFileName(mergeParams);
      WriteLog("Merge parameters: " + mergeParams);
      const MergeInputs inputs = MergeOrder(settings, currentResult);
      WriteLog("Merge: " + inputs.first + " + " + inputs.second);
      WritePostScriptHeader(mergeHeaderFile, *postScriptSettings, /*includeStamp=*/false);
      WritePdfParameters(mergeParams, mergePdf, settings, /*isAppendPass=*/true, mergeCapture,
                         {mergeHeaderFile, inputs.first, inputs.second});
      RunGhostscript(settings, mergeParams, mergeCapture);
      currentResult = mergePdf;
      RemoveCaptureFile(mergeCapture);
    }

    // Ghostscript drops document information it cannot represent (non-ASCII text in PDF/A,
    // entries overridden by the document's own comments): set it in the finished PDF.
    const bool imageOutput = ImageOutputEnabled(settings);
    if (!imageOutput) {
      stepLabel = "Write document information";
      WriteLog("Document information");
      ApplyDocumentInfo(currentResult, settings);
    }

    // Raster output: the finished PDF becomes one image file, or one per page.
    std::string imageBase = TempFileName(sid, suffix::kPage);
    std::string imagePattern;
    std::string imageExtension;
    bool pageNumbered = false;
    if (imageOutput) {
      stepLabel = "Run Ghost to create image files";
      pageNumbered = NormalisePageNumberMacro(outputName);
      imagePattern = imageBase + (pageNumbered ? "_%08d" : "");
      const std::string deviceParams = TempFileName(sid, suffix::kDeviceParams);
      const std::string deviceCapture = CaptureFileName(deviceParams);
      WriteLog("Image parameters: " + deviceParams);
      imageExtension =
          WriteImageParameters(deviceParams, imagePattern, settings, deviceCapture, currentResult);
      RunGhostscript(settings, deviceParams, deviceCapture);
    }

    stepLabel = "Copy output to destination.";
    context.fileCount = 0;
    bool failed = false;
    if (imageOutput && pageNumbered) {
      fileList.clear();
      int n = 1;
      for (;; ++n) {
        const std::string source = imageBase + "_" + EightDigits(n) + "." + imageExtension;
        if (!IsRegularFile(source)) break;
        const std::string destination = SubstitutePageNumber(outputName, n);
        if (!CopyToDestination(source, destination, context.suppressErrors, ui)) {
          failed = true;
          break;
        }
        if (!fileList.empty()) fileList += "\r\n";
        fileList += "  File" + std::to_string(n) + "=" + destination;
      }
      context.fileCount = n - 1;
    } else if (imageOutput) {
      failed = !CopyToDestination(imagePattern, outputName, context.suppressErrors, ui);
      if (!failed) context.fileCount = 1;
    } else {
      stepLabel += " source=" + currentResult + ", destination=" + outputName;
      failed = !CopyToDestination(currentResult, outputName, context.suppressErrors, ui);
      if (!failed) context.fileCount = 1;
    }

    stepLabel = "Show balloon tip.";
    if (context.finishBalloon && !failed) {
      context.balloonShownAt = std::chrono::steady_clock::now();
      ui.ShowBalloonTip(outputName, context.pageCount);
      ui.ProcessEvents();
    } else if (progressShown) {
      ui.HideTrayIcon();
    }

    stepLabel = "Show the PDF.";
    if (KeywordSetting(settings, "showpdf") == "yes" && !failed) {
      WriteLog("Show");
      if (ui.DialogsAvailable()) {
        ShowDocument(outputName, ui);
      } else {
        WriteLog("No display: not opening " + outputName);
      }
    }

    stepLabel = "Write status file.";
    WriteLog("Write status file");
    WriteStatusFile(!failed, settings, context.pageCount, context.fileCount, fileList);

    stepLabel = "Run on Success.";
    const std::string runOnSuccess = settings.Item("runonsuccess");
    if (!runOnSuccess.empty() && !failed) {
      WriteLog("Run on success " + runOnSuccess);
      RunProgram(runOnSuccess, settings.Item("runonsuccessdir"), context.outputFile,
                 context.pageCount, context.fileCount);
    }

    stepLabel = "Run on Error.";
    if (!context.runOnErrorCommand.empty() && failed) {
      WriteLog("Run on error " + context.runOnErrorCommand);
      RunProgram(context.runOnErrorCommand, context.runOnErrorFolder, context.outputFile,
                 context.pageCount, context.fileCount);
      context.runOnErrorDone = true;
    }

    stepLabel = "Run AfterPrintProgram.";
    const std::string afterPrint = settings.Item("afterprintprogram");
    if (!afterPrint.empty()) {
      WriteLog("Run afterprintprogram " + afterPrint);
      RunProgram(afterPrint, settings.Item("afterprintprogramdir"), context.outputFile,
                 context.pageCount, context.fileCount);
      context.afterPrintDone = true;
    }

    stepLabel = "Open destination folder.";
    if (YesSetting(settings, "openfolder", FlagTrim::kYes)) {
      const std::string folder = FolderOf(outputName);
      WriteLog("Open destination folder " + folder);
      OpenFolder(folder, ui);
    }

    stepLabel = "Log finished.";
    WriteLog("Finished");
  }

  stepLabel = "Open temp folder if debugging is enabled.";
  if (IsDebugMode() && !context.runonceUsed) {
    ui.ShowMessage("Debugging is enabled. The folder for temporary files will now open.",
                   MessageIcon::kInformation, MessageButtons::kOk, true);
    OpenFolder(UserTempFolder(), ui);
  }

  stepLabel = "MakePDF finished.";
}

}  // namespace nimbra
