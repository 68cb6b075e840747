// Zel_List: a growable list of untyped pointers that never owns them.
#include "corvane/zel_list.h"

Zel_List::Zel_List() = default;
Zel_List::~Zel_List() = default;
Zel_List::Zel_List(const Zel_List&) = default;
Zel_List& Zel_List::operator=(const Zel_List&) = default;

int Zel_List::AddItem(void* p) {
  items_.push_back(p);
  return static_cast<int>(items_.size()) - 1;
}

int Zel_List::AddItemOrNULL(void* p) {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (!items_[i]) {
      items_[i] = p;
      return static_cast<int>(i);
    }
  }
  return AddItem(p);
}

void* Zel_List::GetItem(int i) const {
  if (i < 0 || static_cast<std::size_t>(i) >= items_.size()) return nullptr;
  return items_[static_cast<std::size_t>(i)];
}

void Zel_List::SetItem(void* p, int i) {
  if (i < 0) return;
  if (static_cast<std::size_t>(i) >= items_.size()) items_.resize(static_cast<std::size_t>(i) + 1, nullptr);
  items_[static_cast<std::size_t>(i)] = p;
}

void Zel_List::RemoveItem(int i) {
  if (i < 0 || static_cast<std::size_t>(i) >= items_.size()) return;
  items_.erase(items_.begin() + i);
}

int Zel_List::GetItemCount() const { return static_cast<int>(items_.size()); }

void Zel_List::ReleaseItems() { items_.clear(); }

void Zel_List::ClearItems() { items_.clear(); }
