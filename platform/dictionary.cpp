#include "platform/dictionary.h"

#include <algorithm>

#include "platform/error.h"

namespace nimbra {

const std::string& Value::Text() const {
  static const std::string kEmpty;
  if (auto* s = std::get_if<std::string>(&v_)) return *s;
  return kEmpty;
}

DictionaryPtr Value::Dict() const {
  if (auto* d = std::get_if<DictionaryPtr>(&v_)) return *d;
  return nullptr;
}

void Dictionary::Add(std::string_view key, Value value) {
  if (Exists(key)) {
    throw Error(err::kKeyExists, "This key is already associated with an element of this collection",
                "Dictionary.Add");
  }
  index_.emplace(std::string(key), entries_.size());
  entries_.push_back({std::string(key), std::move(value)});
}

void Dictionary::Set(std::string_view key, Value value) {
  auto it = index_.find(std::string(key));
  if (it != index_.end()) {
    entries_[it->second].value = std::move(value);
    return;
  }
  index_.emplace(std::string(key), entries_.size());
  entries_.push_back({std::string(key), std::move(value)});
}

bool Dictionary::Exists(std::string_view key) const { return index_.count(std::string(key)) != 0; }

const Value* Dictionary::Find(std::string_view key) const {
  auto it = index_.find(std::string(key));
  return it == index_.end() ? nullptr : &entries_[it->second].value;
}

std::string Dictionary::Item(std::string_view key) const {
  const Value* v = Find(key);
  return v ? v->Text() : std::string();
}

DictionaryPtr Dictionary::Section(std::string_view key) const {
  const Value* v = Find(key);
  return v ? v->Dict() : nullptr;
}

void Dictionary::Remove(std::string_view key) {
  auto it = index_.find(std::string(key));
  if (it == index_.end()) return;
  std::size_t pos = it->second;
  index_.erase(it);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(pos));
  for (auto& [k, i] : index_) {
    if (i > pos) --i;
  }
}

void Dictionary::RemoveAll() {
  entries_.clear();
  index_.clear();
}

std::vector<std::string> Dictionary::Keys() const {
  std::vector<std::string> keys;
  keys.reserve(entries_.size());
  for (const auto& e : entries_) keys.push_back(e.key);
  return keys;
}

DictionaryPtr Dictionary::Clone() const {
  auto copy = New();
  for (const auto& e : entries_) {
    if (auto d = e.value.Dict()) {
      copy->Set(e.key, d->Clone());
    } else {
      copy->Set(e.key, e.value);
    }
  }
  return copy;
}

void SortDictionary(Dictionary& dict, SortBy by) {
  if (dict.Count() < 2) return;
  std::vector<Dictionary::Entry> entries(dict.begin(), dict.end());
  auto sortKey = [by](const Dictionary::Entry& e) -> const std::string& {
    return by == SortBy::kByKey ? e.key : e.value.Text();
  };
  std::stable_sort(entries.begin(), entries.end(),
                   [&](const auto& a, const auto& b) { return sortKey(a) < sortKey(b); });
  dict.RemoveAll();
  for (auto& e : entries) dict.Set(e.key, std::move(e.value));
}

}  // namespace nimbra
