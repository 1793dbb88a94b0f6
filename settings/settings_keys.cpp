#include "settings/settings_keys.h"

#include <array>
#include <cctype>
#include <cstdint>
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
  // Only the plain decimal form of a 32-bit number counts: no unit, fraction, exponent, plus
  // sign or leading zero ("600" and "-5" do, "600s", "0600" and "1e3" do not).
  std::string_view digits = value;
  const bool negative = !digits.empty() && digits.front() == '-';
  if (negative) digits.remove_prefix(1);
  if (digits.empty() || digits.size() > 10) return kDefaultGhostscriptTimeout;
  if (digits.size() > 1 && digits.front() == '0') return kDefaultGhostscriptTimeout;
  if (negative && digits == "0") return kDefaultGhostscriptTimeout;
  long long number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return kDefaultGhostscriptTimeout;
    number = number * 10 + (c - '0');
  }
  if (negative) number = -number;
  if (number < INT32_MIN || number > INT32_MAX) return kDefaultGhostscriptTimeout;
  return static_cast<long>(number);
}

}  // namespace nimbra
