// Zel_List and Zel_String.
#include <gtest/gtest.h>

#include "corvane/zel_list.h"
#include "corvane/zel_string.h"

namespace {

TEST(ZelList, AddSetRemoveAndReuseOfNullEntries) {
  int a = 1, b = 2, c = 3, d = 4;
  Zel_List list;
  EXPECT_EQ(list.GetItem(0), nullptr);
  EXPECT_EQ(list.AddItem(&a), 0);
  EXPECT_EQ(list.AddItem(nullptr), 1);
  EXPECT_EQ(list.AddItem(&b), 2);
  EXPECT_EQ(list.AddItemOrNULL(&c), 1);  // fills the first null entry
  EXPECT_EQ(list.AddItemOrNULL(&d), 3);  // none left: appends
  EXPECT_EQ(list.GetItemCount(), 4);

  list.SetItem(&a, 6);  // grows with null entries
  EXPECT_EQ(list.GetItemCount(), 7);
  EXPECT_EQ(list.GetItem(4), nullptr);
  EXPECT_EQ(list.GetItem(6), &a);
  list.SetItem(&b, -1);  // ignored
  EXPECT_EQ(list.GetItemCount(), 7);

  list.RemoveItem(1);  // later entries move down
  EXPECT_EQ(list.GetItem(1), &b);
  EXPECT_EQ(list.GetItem(2), &d);
  list.RemoveItem(99);
  list.RemoveItem(-1);
  EXPECT_EQ(list.GetItemCount(), 6);
  EXPECT_EQ(list.GetItem(-1), nullptr);
  EXPECT_EQ(list.GetItem(6), nullptr);

  Zel_List copy = list;
  list.ReleaseItems();
  EXPECT_EQ(list.GetItemCount(), 0);
  EXPECT_EQ(copy.GetItemCount(), 6);
  copy.ClearItems();
  EXPECT_EQ(copy.GetItemCount(), 0);
}

TEST(ZelString, CopiesAndNeverYieldsNull) {
  Zel_String s;
  EXPECT_STREQ(s.GetString(), "");
  char buffer[] = "motion";
  s.SetString(buffer);
  buffer[0] = 'X';
  EXPECT_STREQ(s.GetString(), "motion");
  s.SetString(s.GetString() + 2);  // from a part of itself
  EXPECT_STREQ(s.GetString(), "tion");
  EXPECT_EQ(s.GetLength(), 4);
  s.SetString(nullptr);
  EXPECT_STREQ(s.GetString(), "");
  Zel_String t("abc"), u(t);
  t.SetString("z");
  EXPECT_STREQ(u.GetString(), "abc");
}

}  // namespace
