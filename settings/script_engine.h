#pragma once
// Script macros ("<vbs:expression>") are evaluated by a script engine: one per process, made on
// the first script macro, with every "*.vbs" file of the "macros" folder of the application
// folder added as code, and one named object "context" (a dictionary with "DocumentTitle").
// The engine itself is pluggable: until an interpreter is installed with SetScriptEngineFactory,
// the null engine accepts any code and evaluates every expression to the empty text.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/dictionary.h"

namespace nimbra {

// A compile error of code given to AddCode.
struct ScriptError {
  long number = 0;
  std::string description;
  long line = 0;
  long column = 0;  // 0-based
  std::string sourceText;
};

class ScriptEngine {
 public:
  virtual ~ScriptEngine() = default;
  // The language of the code ("VBScript").
  virtual void SetLanguage(std::string_view language) = 0;
  // Makes `object` reachable from the code under `name`.
  virtual void AddObject(std::string_view name, DictionaryPtr object) = 0;
  // Adds code; returns the compile error when the engine rejects it.
  virtual std::optional<ScriptError> AddCode(std::string_view code) = 0;
  // The value of an expression as text; nullopt when it cannot be turned into text. Errors of
  // the evaluation itself are raised as nimbra::Error.
  virtual std::optional<std::string> Eval(std::string_view expression) = 0;
};

using ScriptEngineFactory = std::function<std::unique_ptr<ScriptEngine>()>;

// Installs the factory used for the process's engine (an empty factory restores the null one).
void SetScriptEngineFactory(ScriptEngineFactory factory);

// The engine that accepts everything and evaluates to "".
std::unique_ptr<ScriptEngine> MakeNullScriptEngine();

// The value of a "vbs:" macro; `documentTitle` is the printed document's title. The first call
// makes the engine and loads the macro files; a rejected file raises its error with the text
// "Error adding macro source code from file '<path>'." + CR LF CR LF + description + CR LF +
// "Line <n> position <column+1>" + CR LF + source text.
std::string EvaluateScriptMacro(std::string_view expression, std::string_view documentTitle);

// The code of a macro file: the text after "REM -- MACRO REGION BEGINS" (any case) and the line
// break that follows it, or the whole text when there is no such marker.
std::string MacroFileCode(std::string_view fileText);

// Drops the process's engine so the next script macro makes a new one (tests only).
void ResetScriptEngineForTesting();

}  // namespace nimbra
