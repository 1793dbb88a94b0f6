#pragma once
// The ordered map used for every keyed collection: exact (case-sensitive) keys, enumeration in
// order of first insertion, assignment to an existing key replaces the value in place, reading
// a missing key gives the empty value, and the explicit Add of an existing key is an error.
// Values are texts or nested dictionaries; nested dictionaries are shared, not copied, so a
// section handed out by reference and changed is what the owner later writes.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

namespace nimbra {

class Dictionary;
using DictionaryPtr = std::shared_ptr<Dictionary>;

class Value {
 public:
  Value() = default;
  Value(std::string text) : v_(std::move(text)) {}
  Value(const char* text) : v_(std::string(text)) {}
  Value(DictionaryPtr dict) : v_(std::move(dict)) {}

  bool IsDictionary() const { return std::holds_alternative<DictionaryPtr>(v_); }
  // The text, or "" when the value is a dictionary.
  const std::string& Text() const;
  // The dictionary, or nullptr when the value is a text.
  DictionaryPtr Dict() const;

 private:
  std::variant<std::string, DictionaryPtr> v_;
};

class Dictionary {
 public:
  struct Entry {
    std::string key;
    Value value;
  };

  static DictionaryPtr New() { return std::make_shared<Dictionary>(); }

  // Explicit add: fails with error 457 when the key is already present.
  void Add(std::string_view key, Value value);
  // Assignment: replaces in place, or appends a new entry at the end.
  void Set(std::string_view key, Value value);
  bool Exists(std::string_view key) const;
  // The value, or nullptr when missing.
  const Value* Find(std::string_view key) const;
  // Text of the value; "" when missing or a dictionary.
  std::string Item(std::string_view key) const;
  // Nested dictionary; nullptr when missing or a text.
  DictionaryPtr Section(std::string_view key) const;
  // Removes the key; a missing key is not an error.
  void Remove(std::string_view key);
  void RemoveAll();

  std::size_t Count() const { return entries_.size(); }
  bool Empty() const { return entries_.empty(); }
  std::vector<std::string> Keys() const;

  using const_iterator = std::vector<Entry>::const_iterator;
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }

  // Deep copy (nested dictionaries are copied too).
  DictionaryPtr Clone() const;

 private:
  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t> index_;
};

// Sorts the dictionary in place by key (kByKey) or by the text of each value (kByValue),
// ascending by character codes; afterwards enumeration follows the sorted order.
enum class SortBy { kByKey, kByValue };
void SortDictionary(Dictionary& dict, SortBy by = SortBy::kByKey);

}  // namespace nimbra
