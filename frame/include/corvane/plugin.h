// What every plug-in library exports, and the helper its constructor uses to declare links.
//
//   CORVANE_PLUGIN(MyChannelClass, "DX8 Thing", "XXXXXXXX-...", "YYYYYYYY-...", 1, 0)
//
// defines, with C linkage:
//   GetType()  -> ChannelType*: fills a static, default-constructed record with the type name,
//                 typeId, baseTypeId, hostWord3 (and hostWord4 when non-zero) and returns its
//                 address, the same address with the same content on every call;
//   InitDLL()  -> Zel_Channel*: a new object of the class, or null when allocation fails.
#pragma once

#include <cstring>
#include <new>

#include "corvane/channel_type.h"
#include "corvane/guid.h"
#include "corvane/zel_channel.h"

#define CORVANE_EXPORT extern "C" __attribute__((visibility("default")))

namespace corvane {

// Copies text with its terminator into a fixed field, cutting it to fit. Bytes after the
// terminator are left as they were, as a C string copy leaves them.
template <std::size_t N>
inline void CopyFixedText(char (&field)[N], const char* text) {
  std::size_t n = text ? std::strlen(text) : 0;
  if (n > N - 1) n = N - 1;
  if (n) std::memcpy(field, text, n);
  field[n] = '\0';
}

// Fills a plug-in's static type record as GetType does.
inline ChannelType* FillTypeRecord(ChannelType* record, const char* typeName, const GUID& typeId,
                                   const GUID& baseTypeId, int hostWord3, int hostWord4) {
  CopyFixedText(record->typeName, typeName);
  record->typeId = typeId;
  record->baseTypeId = baseTypeId;
  record->hostWord3 = hostWord3;
  if (hostWord4 != 0) record->hostWord4 = hostWord4;
  return record;
}

// Declares a channel's links from one reused record: fields not set again by a declaration keep
// the values the previous declaration left in them.
class LinkDeclarer {
 public:
  explicit LinkDeclarer(Zel_Channel* channel) : channel_(channel) {}

  // Copies both names in (with their terminators), sets the expected type and the link position,
  // and hands the record to the channel as link `link`.
  void Declare(int link, const char* typeName, const GUID& typeId, int linkPosition,
               const char* linkName) {
    CopyFixedText(record_.childType.typeName, typeName);
    CopyFixedText(record_.linkName, linkName);
    record_.childType.typeId = typeId;
    record_.linkPosition = linkPosition;
    channel_->SetChildCreateType(record_, link);
  }

  // The reused record, for the rare field a plug-in sets itself (hostWord6).
  ChildCreation& Record() { return record_; }

 private:
  Zel_Channel* channel_;
  ChildCreation record_;
};

}  // namespace corvane

#define CORVANE_PLUGIN(Class, TypeName, TypeIdText, BaseTypeIdText, HostWord3, HostWord4)      \
  static ChannelType g_corvanePluginType;                                                   \
  CORVANE_EXPORT ChannelType* GetType() {                                                   \
    return ::corvane::FillTypeRecord(&g_corvanePluginType, TypeName,                        \
                                     ::corvane::MakeGuid(TypeIdText),                       \
                                     ::corvane::MakeGuid(BaseTypeIdText), HostWord3, HostWord4); \
  }                                                                                         \
  CORVANE_EXPORT Zel_Channel* InitDLL() { return new (std::nothrow) Class(); }
