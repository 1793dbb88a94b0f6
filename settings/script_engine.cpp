#include "settings/script_engine.h"

#include <dirent.h>

#include <vector>

#include "platform/error.h"
#include "platform/files.h"

namespace nimbra {
namespace {

constexpr std::string_view kMacroRegionMarker = "REM -- MACRO REGION BEGINS";
constexpr char kScriptEngineClass[] = "MSScriptControl.ScriptControl";

// Stands in while no interpreter is installed: every script macro evaluates to "".
class NullScriptEngine : public ScriptEngine {
 public:
  void SetLanguage(std::string_view) override {}
  void AddObject(std::string_view, DictionaryPtr) override {}
  std::optional<ScriptError> AddCode(std::string_view) override { return std::nullopt; }
  std::optional<std::string> Eval(std::string_view) override { return std::string(); }
};

struct ScriptMacroState {
  ScriptEngineFactory factory;
  std::unique_ptr<ScriptEngine> engine;
};

ScriptMacroState& State() {
  static ScriptMacroState state;
  return state;
}

bool EndsWithVbs(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return ext == ".vbs";
}

// The "*.vbs" files of the folder in the order the directory listing gives them.
std::vector<std::string> MacroFiles(const std::string& folder) {
  std::vector<std::string> files;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return files;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    const std::string path = folder + "/" + name;
    if (EndsWithVbs(name) && IsFileNotFolder(path)) files.push_back(path);
  }
  ::closedir(dir);
  return files;
}

void LoadMacroFiles(ScriptEngine& engine) {
  for (const std::string& path : MacroFiles(ProgramFolder() + "/macros")) {
    if (auto error = engine.AddCode(MacroFileCode(ReadFile(path)))) {
      throw Error(error->number,
                  "Error adding macro source code from file '" + path + "'.\r\n\r\n" +
                      error->description + "\r\nLine " + std::to_string(error->line) +
                      " position " + std::to_string(error->column + 1) + "\r\n" +
                      error->sourceText,
                  "EvaluateScriptMacro");
    }
  }
}

}  // namespace

void SetScriptEngineFactory(ScriptEngineFactory factory) { State().factory = std::move(factory); }

std::unique_ptr<ScriptEngine> MakeNullScriptEngine() { return std::make_unique<NullScriptEngine>(); }

std::string MacroFileCode(std::string_view fileText) {
  std::string upper(fileText);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  const auto marker = upper.find(kMacroRegionMarker);
  if (marker == std::string::npos) return std::string(fileText);
  // The header ends with the line of the marker (CR LF, or LF in files edited here).
  const auto lineEnd = fileText.find('\n', marker + kMacroRegionMarker.size());
  if (lineEnd == std::string_view::npos) return std::string(fileText);
  return std::string(fileText.substr(lineEnd + 1));
}

std::string EvaluateScriptMacro(std::string_view expression, std::string_view documentTitle) {
  ScriptMacroState& state = State();
  auto context = Dictionary::New();
  context->Set("DocumentTitle", std::string(documentTitle));
  if (!state.engine) {
    state.engine = state.factory ? state.factory() : MakeNullScriptEngine();
    if (!state.engine) {
      throw Error(err::kClassNotRegistered,
                  std::string("Error creating object: ") + kScriptEngineClass,
                  "EvaluateScriptMacro");
    }
    state.engine->SetLanguage("VBScript");
    // Only the first context reaches the engine; one process runs one job, so its title is
    // the title of every later call as well.
    state.engine->AddObject("context", context);
    LoadMacroFiles(*state.engine);
  }
  return state.engine->Eval(expression).value_or(std::string());
}

void ResetScriptEngineForTesting() { State().engine.reset(); }

}  // namespace nimbra
