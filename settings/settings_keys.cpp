#include "settings/settings_keys.h"

#include <array>
#include <cctype>
#include <utility>

#include "platform/conversions.h"

namespace nimbra {
namespace {

// The keys of the settings in their fixed order, with their defaults ("" = none).
constexpr std::array<std::pair<std::string_view, std::string_view>, 56> kDefaults = {{
    {"afterprintprogram", ""},
    {"afterprintprogramdir", ""},
    {"disableoptiondialog", ""},
    {"author", ""},
    {"creationdate", ""},
    {"creator", ""},
    {"keylength", "128"},
    {"keywords", ""},
    {"mergefile", ""},
    {"mergeposition", "bottom"},
    {"moddate", ""},
    {"output", "<desktop>/<title>.pdf"},
    {"ownerpassword", ""},
    {"permissions", ""},
    {"settingsprogram", ""},
    {"showpdf", "ask"},
    {"subject", ""},
    {"superimpose", ""},
    {"target", ""},
    {"title", ""},
    {"userpassword", ""},
    {"watermarkrotation", "c2c"},
    {"watermarktext", ""},
    {"suppresserrors", "no"},
    {"watermarkcolor", "#D9D9D9"},
    {"watermarkfontname", "arial.ttf"},
    {"watermarkfontsize", "45"},
    {"watermarkoutlinewidth", "2"},
    {"watermarklayer", "top"},
    {"watermarkverticalposition", "center"},
    {"watermarkhorizontalposition", "center"},
    {"watermarkverticaladjustment", ""},
    {"watermarkhorizontaladjustment", ""},
    {"rememberlastfilename", "no"},
    {"rememberlastfoldername", "yes"},
    {"zoom", "fitall"},
    {"showprogress", ""},
    {"showprogressfinished", ""},
    {"runonsuccess", ""},
    {"runonsuccessdir", ""},
    {"runonerror", ""},
    {"runonerrordir", ""},
    {"device", ""},
    {"res", "150"},
    {"resx", ""},
    {"resy", ""},
    {"textalphabits", "4"},
    {"graphicsalphabits", "4"},
    {"statusfile", ""},
    {"hidetabs", ""},
    {"hidecontrols", ""},
    {"disablecontrols", ""},
    {"pdfa", "no"},
    {"confirmoverwrite", "yes"},
    {"usedefaultauthor", "no"},
    {"usedefaulttitle", "no"},
}};

std::string Lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

DictionaryPtr DefaultSettings() {
  auto settings = Dictionary::New();
  for (const auto& [key, value] : kDefaults) settings->Set(key, std::string(value));
  return settings;
}

std::string DefaultSetting(std::string_view key) {
  for (const auto& [k, value] : kDefaults) {
    if (k == key) return std::string(value);
  }
  return {};
}

bool IsYes(std::string_view text, FlagTrim trim) {
  if (trim == FlagTrim::kYes) text = TrimBlanks(text);
  return Lower(text) == "yes";
}

bool IsNotNo(std::string_view text) { return Lower(text) != "no"; }

bool YesSetting(const Dictionary& settings, std::string_view key, FlagTrim trim) {
  return IsYes(settings.Item(key), trim);
}

bool NotNoSetting(const Dictionary& settings, std::string_view key) {
  return IsNotNo(settings.Item(key));
}

double NumberSetting(const Dictionary& settings, std::string_view key) {
  return LeadingNumber(settings.Item(key));
}

std::string KeywordSetting(const Dictionary& settings, std::string_view key) {
  return Lower(settings.Item(key));
}

bool ConfirmOverwrite(const Dictionary& settings) {
  const std::string value = KeywordSetting(settings, "confirmoverwrite");
  return value != "0" && value != "no";
}

std::string WatermarkLayer(const Dictionary& settings) {
  std::string layer = KeywordSetting(settings, "watermarklayer");
  if (layer.empty()) layer = Lower(DefaultSetting("watermarklayer"));
  return layer == "bottom" ? "bottom" : "top";
}

bool HasSuperimpose(const Dictionary& settings) { return !settings.Item("superimpose").empty(); }

long GhostscriptTimeout(const Dictionary& settings) {
  const std::string text = settings.Item("ghostscripttimeout");
  const std::string_view value = TrimBlanks(text);
  // Nine digits at most: anything longer is not a sensible number of seconds and would overflow.
  if (value.empty() || value.size() > 9) return kDefaultGhostscriptTimeout;
  long seconds = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return kDefaultGhostscriptTimeout;
    seconds = seconds * 10 + (c - '0');
  }
  return seconds;
}

}  // namespace nimbra
