// Zel_List: a growable list of untyped pointers. It never owns what it points to; callers free
// the items before ReleaseItems/ClearItems.
#pragma once

#include <vector>

class Zel_List {
 public:
  Zel_List();
  virtual ~Zel_List();
  Zel_List(const Zel_List&);
  Zel_List& operator=(const Zel_List&);

  // Appends p (null allowed) and returns its index.
  virtual int AddItem(void* p);
  // Stores p in the first null entry (appending when there is none) and returns its index.
  virtual int AddItemOrNULL(void* p);
  // Entry i, or null when i is outside the list.
  virtual void* GetItem(int i) const;
  // Stores p at index i, growing the list with null entries as needed. Negative i is ignored.
  virtual void SetItem(void* p, int i);
  // Removes entry i; later entries move down by one. Outside indices are ignored.
  virtual void RemoveItem(int i);
  virtual int GetItemCount() const;
  // Both remove every entry.
  virtual void ReleaseItems();
  virtual void ClearItems();

  // Direct access for hot loops in the host and tests.
  void* const* data() const { return items_.data(); }

 private:
  std::vector<void*> items_;
};
