#include "settings/resolve_job_settings.h"

#include "platform/files.h"
#include "platform/user_interface.h"
#include "settings/localisation.h"
#include "settings/macros.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"

namespace nimbra {
namespace {

// The Save As dialog is shown for "always"; for "never" not; for anything else ("nofile",
// empty) only when "output" does not already name a file, i.e. is empty or an existing folder.
bool AskSaveAs(const Dictionary& settings) {
  const std::string mode = KeywordSetting(settings, "showsaveas");
  if (mode == "never") return false;
  if (mode == "always") return true;
  const std::string output = settings.Item("output");
  return output.empty() || IsFolder(output);
}

// Proposes the last file name in the configured folder.
void ApplyLastFileName(Dictionary& settings, std::string_view printerName) {
  std::string folder = settings.Item("output");
  if (!IsFolder(folder)) {
    const auto slash = folder.rfind('/');
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
  }
  folder = StripTrailingBackslashes(folder);
  const std::string lastName = GetUserSetting(printerName, "lastfilename", "");
  if (!lastName.empty()) settings.Set("output", folder + "/" + lastName);
}

// Proposes the configured file name in the last folder.
void ApplyLastFolderName(Dictionary& settings, std::string_view printerName) {
  const std::string name = FileNameOf(settings.Item("output"));
  const std::string folder =
      StripTrailingBackslashes(GetUserSetting(printerName, "lastfoldername", ""));
  if (!folder.empty()) settings.Set("output", folder + "/" + name);
}

}  // namespace

JobSettingsResult ResolveJobSettings(const JobSettingsRequest& request, UserInterface& ui) {
  JobSettingsResult result;
  ResolveJobSettings(request, ui, result);
  return result;
}

void ResolveJobSettings(const JobSettingsRequest& request, UserInterface& ui,
                        JobSettingsResult& result) {
  result = JobSettingsResult();
  result.settings = LoadConfig(request.printerName, /*ignoreRunonce=*/false, result.fileName,
                               &result.runonceUsed);
  Dictionary& settings = *result.settings;
  result.suppressErrors = YesSetting(settings, "suppresserrors");
  result.debugMode = YesSetting(settings, "debug");

  ExpandSettings(settings, DocumentFacts::From(request.documentName, request.documentProperties));

  // Without a display no dialog can be shown: the job runs as if both were "never".
  const bool dialogs = ui.DialogsAvailable();
  const bool askSaveAs = dialogs && AskSaveAs(settings);
  const bool showDialog = dialogs && KeywordSetting(settings, "showsettings") != "never";

  if (showDialog || askSaveAs) {
    if (YesSetting(settings, "rememberlastfilename", FlagTrim::kYes)) {
      ApplyLastFileName(settings, request.printerName);
    }
    if (YesSetting(settings, "rememberlastfoldername", FlagTrim::kYes)) {
      ApplyLastFolderName(settings, request.printerName);
    }
    if (askSaveAs) {
      const std::string chosen =
          ui.SaveAs(settings.Item("output"), ConfirmOverwrite(settings), /*setForeground=*/true);
      // Cancelling without a following settings dialog leaves no output: the job makes none.
      if (!chosen.empty() || !showDialog) {
        settings.Set("output", chosen);
        result.chosenOutputName = chosen;
      }
    }
  }

  if (showDialog) {
    result.proceed = ui.EditJobSettings(settings);
  } else {
    const std::string output = settings.Item("output");
    // Headless, the question counts as answered "no": "showpdf" stays "ask".
    if (dialogs && KeywordSetting(settings, "showpdf") == "ask" && !output.empty()) {
      const std::string question =
          Localize("[L95]Do you want to open the PDF document?") + "\r\n\r\n" + output;
      if (ui.ShowMessage(question, MessageIcon::kQuestion, MessageButtons::kYesNo, true) ==
          MessageResult::kYes) {
        settings.Set("showpdf", "yes");
      }
    }
    result.proceed = true;
  }

  // The per-job dialog may have changed the flags as well as the output: read them again.
  if ((showDialog || askSaveAs) && result.proceed) {
    const std::string output = settings.Item("output");
    if (YesSetting(settings, "rememberlastfilename", FlagTrim::kYes)) {
      SetUserSetting(request.printerName, "lastfilename", FileNameOf(output));
    }
    if (YesSetting(settings, "rememberlastfoldername", FlagTrim::kYes)) {
      SetUserSetting(request.printerName, "lastfoldername", FolderOf(output));
    }
  }
}

}  // namespace nimbra
