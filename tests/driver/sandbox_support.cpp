#include "sandbox_support.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/text_encoding.h"
#include "settings/folders.h"
#include "settings/localisation.h"
#include "settings/log.h"
#include "settings/settings_file_names.h"

extern char** environ;

namespace nimbra::test {
namespace fs = std::filesystem;

namespace {

std::string MakeFolder(const std::string& path) {
  fs::create_directories(path);
  return path;
}

}  // namespace

Sandbox::Sandbox() {
  root = scratch_.Path();
  home = MakeFolder(root + "/home");
  config = MakeFolder(root + "/config");
  tmp = MakeFolder(root + "/tmp");
  app = MakeFolder(root + "/app");
  out = MakeFolder(root + "/out");
  registry = root + "/registry.reg";
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  setenv("TMPDIR", tmp.c_str(), 1);
  setenv("NIMBRA_APP_FOLDER", app.c_str(), 1);
  setenv("NIMBRA_REGISTRY", registry.c_str(), 1);
  ResetFolderCacheForTesting();
  ResetLogStateForTesting();
  // Taken once: after GiveTo the folders belong to another user, and this process would no
  // longer accept them as its own.
  dataFolder_ = nimbra::DataFolder();
  tempFolder_ = UserTempFolder();
}

// The folder itself goes with scratch_, after this.
Sandbox::~Sandbox() {
  ResetFolderCacheForTesting();
  ResetLogStateForTesting();
}

std::string Sandbox::DataFolder() const { return dataFolder_; }
std::string Sandbox::TempFolder() const { return tempFolder_; }
std::string Sandbox::LogFile(const std::string& sessionId) const {
  return TempFolder() + "/" + sessionId + "_printer.log";
}

void Sandbox::WriteSettings(const std::vector<std::pair<std::string, std::string>>& values,
                            const std::string& printer, const std::string& base) const {
  std::ofstream f(DataFolder() + "/" + SettingsFileName(base, printer, true), std::ios::binary);
  f << "[PDF Printer]\n";
  for (const auto& [k, v] : values) f << k << "=" << v << "\n";
}

void Sandbox::GiveTo(uid_t uid, gid_t gid) const {
  std::error_code ec;
  if (chown(root.c_str(), uid, gid) != 0) throw std::runtime_error("chown failed");
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (lchown(it->path().c_str(), uid, gid) != 0) throw std::runtime_error("chown failed");
  }
}

std::string GuiProgram() { return std::string(NIMBRA_BINARY_DIR) + "/gui/driver/gui"; }

ProgramResult RunProgramAndWait(const std::string& program, const std::vector<std::string>& args,
                                const std::string& scratchFolder, const RunOptions& options) {
  // Everything the child needs is prepared before fork: after it, only exec-safe calls.
  std::map<std::string, std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    auto eq = entry.find('=');
    if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& [k, v] : options.environment) {
    if (v.empty()) {
      env.erase(k);
    } else {
      env[k] = v;
    }
  }
  std::vector<std::string> envText;
  for (const auto& [k, v] : env) envText.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (auto& s : envText) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argText = {program};
  argText.insert(argText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : argText) argv.push_back(s.data());
  argv.push_back(nullptr);

  static int counter = 0;
  const std::string base = scratchFolder + "/run" + std::to_string(++counter);
  const std::string outPath = base + ".out", errPath = base + ".err";
  int outFd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  int nullFd = open("/dev/null", O_RDONLY | O_CLOEXEC);

  pid_t pid = fork();
  if (pid == 0) {
    dup2(nullFd, 0);
    dup2(outFd, 1);
    dup2(errFd, 2);
    if (options.user) {
      if (setgroups(0, nullptr) != 0 || setgid(options.user->second) != 0 ||
          setuid(options.user->first) != 0) {
        _exit(126);
      }
    }
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(outFd);
  close(errFd);
  close(nullFd);
  ProgramResult result;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.stdOut = ReadAll(outPath);
  result.stdErr = ReadAll(errPath);
  return result;
}

ProgramResult RunGuiProgram(const std::vector<std::string>& args, const Sandbox& sandbox,
                            const RunOptions& options) {
  RunOptions withOptions = options;
  // Under the leak checker, the report of the suppressions it used would land in the standard
  // error the tests compare.
  if (!withOptions.environment.count("LSAN_OPTIONS")) {
    const char* lsan = std::getenv("LSAN_OPTIONS");
    withOptions.environment["LSAN_OPTIONS"] =
        std::string(lsan && *lsan ? std::string(lsan) + ":" : "") + "print_suppressions=0";
  }
  return RunProgramAndWait(GuiProgram(), args, sandbox.root, withOptions);
}

std::string CommandOutput(const std::string& commandLine) {
  std::string out;
  FILE* p = popen(commandLine.c_str(), "r");
  if (!p) return out;
  std::array<char, 4096> buffer;
  std::size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), p)) > 0) out.append(buffer.data(), n);
  pclose(p);
  return out;
}

std::string Quoted(const std::string& path) {
  std::string out = "'";
  for (char c : path) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string ReadStatusFile(const std::string& path) { return Utf16LeToUtf8(ReadAll(path)); }

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

std::string PdfInfoField(const std::string& pdf, const std::string& field,
                         const std::string& password) {
  std::string cmd = "pdfinfo -enc UTF-8 ";
  if (!password.empty()) cmd += "-opw " + Quoted(password) + " ";
  std::string info = CommandOutput(cmd + Quoted(pdf) + " 2>/dev/null");
  std::istringstream lines(info);
  std::string line;
  const std::string prefix = field + ":";
  while (std::getline(lines, line)) {
    if (line.rfind(prefix, 0) == 0) {
      std::string value = line.substr(prefix.size());
      value.erase(0, value.find_first_not_of(' '));
      return value;
    }
  }
  return {};
}

std::string PdfText(const std::string& pdf) {
  return CommandOutput("pdftotext " + Quoted(pdf) + " - 2>/dev/null");
}

int WaitForLines(const std::string& path, int lines, int limitMs) {
  auto count = [&] {
    std::string text = ReadAll(path);
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
  };
  for (int waited = 0; count() < lines && waited < limitMs; waited += 20) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return count();
}

std::optional<std::pair<uid_t, gid_t>> NobodyUser() {
  struct passwd* pw = getpwnam("nobody");
  if (!pw) return std::nullopt;
  return std::make_pair(pw->pw_uid, pw->pw_gid);
}

}  // namespace nimbra::test
