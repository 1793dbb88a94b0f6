#include "gui/driver/startup.h"

#include <cctype>
#include <chrono>
#include <exception>
#include <filesystem>
#include <new>
#include <thread>

#include "gui/driver/cleanup.h"
#include "gui/driver/command_line.h"
#include "gui/driver/make_pdf.h"
#include "gui/driver/run_program.h"
#include "gui/driver/status_file.h"
#include "gui/postscript/postscript_properties.h"
#include "platform/error.h"
#include "platform/event_pump.h"
#include "platform/user_interface.h"
#include "settings/localisation.h"
#include "settings/log.h"
#include "settings/settings_file_names.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"

namespace nimbra {
namespace {

constexpr auto kBalloonWait = std::chrono::seconds(5);
constexpr auto kBalloonStep = std::chrono::milliseconds(50);

MessageIcon IconFromWord(std::string word) {
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (word == "error") return MessageIcon::kCritical;
  if (word == "exclamation") return MessageIcon::kExclamation;
  return MessageIcon::kInformation;
}

bool PostScriptFileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

// Options mode: the printer's settings are read without consuming a pending one-shot file,
// only to learn whether the options dialog may open at all.
void RunOptionsMode(JobContext& context, UserInterface& ui) {
  std::string fileName;
  DictionaryPtr settings = LoadConfig(context.printerName, /*ignoreRunonce=*/true, fileName);
  if (YesSetting(*settings, "disableoptiondialog", FlagTrim::kYes)) {
    ui.ShowMessage("Options dialog is disabled.", MessageIcon::kInformation, MessageButtons::kOk,
                   true);
    return;
  }
  // The printer choice and the options dialog need the desktop user interface, which this
  // build does not have yet.
  ui.ShowMessage(
      "The options dialog is not yet available in this version of Nimbra Creator. "
      "Use a settings file or the configuration tool to change the settings.",
      MessageIcon::kInformation, MessageButtons::kOk, true);
}

void WaitForBalloon(const JobContext& context, UserInterface& ui) {
  if (!context.finishBalloon || !context.balloonShownAt) return;
  while (std::chrono::steady_clock::now() - *context.balloonShownAt < kBalloonWait &&
         !ui.BalloonClosed()) {
    std::this_thread::sleep_for(kBalloonStep);
    ui.ProcessEvents();
  }
}

void RunEvent(JobContext& context, std::string_view rawCommandLine, UserInterface& ui,
              std::string& stepLabel) {
  stepLabel = "Init language";
  LoadLanguage();

  stepLabel = "Parse command line";
  context.parameters = ParseCommandLine(rawCommandLine);
  const Dictionary& params = *context.parameters;

  stepLabel = "Read Session Id from parameters";
  context.sessionId = params.Item("sessionid");
  SetLogSessionId(context.sessionId);
  ResetLog();
  WriteLog("Command Line: " + std::string(rawCommandLine));

  stepLabel = "Read PS file from parameters";
  const std::string postScriptFile = params.Item("ps");
  if (params.Exists("ps") && !PostScriptFileExists(postScriptFile)) {
    throw Error(err::kNoPostScript, "Unable to find postscript file '" + postScriptFile + "'.",
                "gui");
  }

  stepLabel = "Read message from parameters";
  const std::string message = DecodeMessage(params.Item("msg"));
  stepLabel = "Read icon type from parameters";
  const MessageIcon icon = IconFromWord(params.Item("icon"));

  if (!message.empty()) {
    ui.ShowMessage(message, icon, MessageButtons::kOk, true);
  } else {
    stepLabel = "Read document name from parameters";
    context.documentName = params.Item("doc");
    stepLabel = "Read printer name from parameters";
    context.printerName = params.Item("printer");
    context.instanceName = InstanceName(context.printerName);

    if (!postScriptFile.empty() && !context.printerName.empty()) {
      MigrateSettingsFiles(context.printerName);
      stepLabel = "Extract document properties such as title and author";
      context.documentProperties = ReadDocumentProperties(postScriptFile);
      stepLabel = "Make PDF";
      MakePDF(context, ui, postScriptFile, stepLabel);
    } else {
      RunOptionsMode(context, ui);
    }
  }

  stepLabel = "ExitApp";
  stepLabel = "Wait for balloon tip.";
  WaitForBalloon(context, ui);
  stepLabel = "Hide tray icon";
  ui.HideTrayIcon();
  stepLabel = "Cleanup";
  Cleanup(context.sessionId, context.debugMode, /*errorMode=*/false, stepLabel);
}

// Runs one step of the error handler; a failure there is logged (if the log still works) and
// does not stop the remaining steps.
template <typename Step>
void Guarded(const char* what, Step step) noexcept {
  try {
    step();
  } catch (const Error& e) {
    TryWriteLog(std::string("Error handler: ") + what + " failed. Error " +
                std::to_string(e.Number()) + ": " + e.Description());
  } catch (const std::exception& e) {
    TryWriteLog(std::string("Error handler: ") + what + " failed. " + e.what());
  } catch (...) {
    TryWriteLog(std::string("Error handler: ") + what + " failed.");
  }
}

}  // namespace

void HandleError(JobContext& context, const Error& error, std::string& stepLabel,
                 UserInterface& ui) {
  const std::string errorText =
      "Error " + std::to_string(error.Number()) + ": " + error.Description();

  if (context.jobSettings) {
    Guarded("Write status file", [&] {
      WriteStatusFile(false, *context.jobSettings, context.pageCount, context.fileCount, "");
    });
  }
  if (!context.runOnErrorCommand.empty() && !context.runOnErrorDone) {
    Guarded("Run on error", [&] {
      TryWriteLog("Run on error" + context.runOnErrorCommand);
      RunProgram(context.runOnErrorCommand, context.runOnErrorFolder, context.outputFile,
                 context.pageCount, context.fileCount);
      context.runOnErrorDone = true;
    });
  }
  if (context.jobSettings && !context.afterPrintDone) {
    const std::string program = context.jobSettings->Item("afterprintprogram");
    if (!program.empty()) {
      Guarded("Run afterprintprogram", [&] {
        TryWriteLog("Run afterprintprogram " + program);
        RunProgram(program, context.jobSettings->Item("afterprintprogramdir"),
                   context.outputFile, context.pageCount, context.fileCount);
        context.afterPrintDone = true;
      });
    }
  }
  if (!context.suppressErrors) {
    Guarded("Show message", [&] {
      std::string text;
      try {
        text = Localize("[L109]An error occured.");
      } catch (...) {
        text = "An error occured.";
      }
      text += "\n\n" + errorText + "\n\n" + stepLabel;
      ui.ShowMessage(text, MessageIcon::kCritical, MessageButtons::kOk, true);
    });
  }
  TryWriteLog("Error handler. " + errorText);
  Guarded("Cleanup", [&] {
    Cleanup(context.sessionId, context.debugMode, /*errorMode=*/true, stepLabel);
  });
  Guarded("Hide tray icon", [&] { ui.HideTrayIcon(); });
}

int Startup(JobContext& context, std::string_view rawCommandLine, UserInterface& ui) {
  // Long waits of the lower layers (Ghostscript, copy and log retries) keep this interface alive.
  SetEventPump([&ui] { ui.ProcessEvents(); });
  std::string stepLabel = "start";
  try {
    try {
      RunEvent(context, rawCommandLine, ui, stepLabel);
    } catch (const Error&) {
      throw;
    } catch (const std::bad_alloc&) {
      throw Error(7, "Out of memory", "gui");
    } catch (const std::exception& e) {
      throw Error(err::kGeneral, e.what(), "gui");
    } catch (...) {
      throw Error(err::kGeneral, "Unknown error", "gui");
    }
  } catch (const Error& e) {
    HandleError(context, e, stepLabel, ui);
  }
  SetEventPump(nullptr);
  return 0;
}

int RunGui(std::string_view rawCommandLine, UserInterface& ui) {
  JobContext context;
  return Startup(context, rawCommandLine, ui);
}

}  // namespace nimbra
