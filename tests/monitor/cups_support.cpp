#include "tests/monitor/cups_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <sstream>

#include "tests/monitor/monitor_support.h"

namespace nimbra::test {
namespace {

const std::string kScript = std::string(NIMBRA_TEST_DATA) + "/../monitor/private_cupsd.sh";

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

std::string ShellOutput(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
    ::pclose(pipe);
  }
  return out;
}

PrivateCups::PrivateCups(const ScratchFolder& scratch, const std::string& backend,
                         const std::string& registry)
    : folder_(scratch / "cups") {
  ::mkdir(folder_.c_str(), 0755);
  std::string out = ShellOutput(kScript + " start " + Quote(folder_) + " " + Quote(backend) + " " +
                                Quote(registry) + " 2>&1");
  socket_ = folder_ + "/cups.sock";
  if (out.find(socket_) == std::string::npos) {
    std::fprintf(stderr, "cupsd: %s\n", out.c_str());
    return;
  }
  ok_ = Shell(kScript + " queue " + Quote(folder_) + " Nimbra_Creator tvpdf29:/TVPDF29 " +
              ">/dev/null 2>&1") == 0;
}

PrivateCups::~PrivateCups() { Shell(kScript + " stop " + Quote(folder_)); }

int PrivateCups::Print(const std::string& user, const std::string& title, const std::string& file) {
  std::string out = ShellOutput("runuser -u " + Quote(user) + " -- env CUPS_SERVER=" +
                                Quote(socket_) + " lp -d Nimbra_Creator -t " + Quote(title) + " " +
                                Quote(file) + " 2>&1");
  std::smatch m;
  return std::regex_search(out, m, std::regex("request id is Nimbra_Creator-([0-9]+)"))
             ? std::stoi(m[1])
             : 0;
}

std::vector<int> PrivateCups::PrintMany(const std::string& user, const std::string& titlePrefix,
                                        const std::string& file, int count) {
  std::ostringstream script;
  script << "for i in $(seq -w 1 " << count << "); do runuser -u " << Quote(user)
         << " -- env CUPS_SERVER=" << Quote(socket_) << " lp -d Nimbra_Creator -t "
         << Quote(titlePrefix) << "\"$i\" " << Quote(file) << " & done; wait";
  std::string out = ShellOutput("sh -c " + Quote(script.str()) + " 2>&1");
  std::vector<int> ids;
  std::regex id("request id is Nimbra_Creator-([0-9]+)");
  for (auto it = std::sregex_iterator(out.begin(), out.end(), id); it != std::sregex_iterator();
       ++it) {
    ids.push_back(std::stoi((*it)[1]));
  }
  return ids;
}

std::string PrivateCups::Lpstat(const std::string& arguments) {
  return ShellOutput("CUPS_SERVER=" + Quote(socket_) + " lpstat " + arguments + " 2>/dev/null");
}

bool PrivateCups::Completed(int jobId) {
  std::regex line("(^|\n)Nimbra_Creator-" + std::to_string(jobId) + " ");
  return std::regex_search(Lpstat("-W completed -o Nimbra_Creator"), line);
}

bool PrivateCups::Held(int jobId) {
  // lpstat -l lists a held job's alert "job-hold-until-specified".
  std::string out = Lpstat("-l -o Nimbra_Creator");
  std::size_t at = out.find("Nimbra_Creator-" + std::to_string(jobId) + " ");
  if (at == std::string::npos) return false;
  std::size_t next = out.find("\nNimbra_Creator-", at + 1);
  std::string block = out.substr(at, next == std::string::npos ? std::string::npos : next - at);
  return block.find("job-hold-until-specified") != std::string::npos;
}

bool PrivateCups::Release(int jobId) {
  return Shell("CUPS_SERVER=" + Quote(socket_) + " lp -i Nimbra_Creator-" + std::to_string(jobId) +
               " -H resume >/dev/null 2>&1") == 0;
}

std::string PrivateCups::ErrorLog() const { return ReadAll(folder_ + "/log/error_log"); }

int PdfPages(const std::string& path) {
  std::string out = ShellOutput("pdfinfo " + Quote(path) + " 2>/dev/null");
  std::smatch m;
  return std::regex_search(out, m, std::regex("Pages:\\s+([0-9]+)")) ? std::stoi(m[1]) : -1;
}

std::string PdfTitle(const std::string& path) {
  std::string out = ShellOutput("pdfinfo " + Quote(path) + " 2>/dev/null");
  std::smatch m;
  return std::regex_search(out, m, std::regex("Title:\\s+([^\n]*)")) ? m[1].str() : "";
}

bool MakePdf(const std::string& path, int pages) {
  const std::string ps = path + ".ps";
  WriteAll(ps, "%!PS\n/Helvetica findfont 24 scalefont setfont\n1 1 " + std::to_string(pages) +
                   " { 72 720 moveto (Page ) show 3 string cvs show showpage } for\n");
  bool ok = Shell("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -sOutputFile=" + Quote(path) +
                  " " + Quote(ps) + " >/dev/null 2>&1") == 0;
  ::chmod(path.c_str(), 0644);
  return ok;
}

std::string ReadStatusFile(const std::string& path) {
  return ShellOutput("iconv -f UTF-16LE -t UTF-8 " + Quote(path) + " 2>/dev/null");
}

void WriteUserSettings(const std::string& home, uid_t uid, gid_t gid) {
  const std::string folder = home + "/.config/Varnell inc./PDF Printer";
  Shell("mkdir -p " + Quote(folder) + " " + Quote(home + "/out"));
  WriteAll(folder + "/settings@Nimbra_Creator.ini",
           "[PDF Printer]\r\noutput=" + home + "/out/<title>.pdf\r\nshowsettings=never\r\n"
           "showsaveas=never\r\nshowpdf=no\r\nstatusfile=" + home + "/status.ini\r\n");
  Shell("chown -R " + std::to_string(uid) + ":" + std::to_string(gid) + " " +
        Quote(home + "/.config") + " " + Quote(home + "/out"));
}

}  // namespace nimbra::test
