// The records a plug-in exchanges with the host: its type descriptor and its link declarations.
#pragma once

#include <cstdint>

#include "corvane/guid.h"

// Type descriptor a plug-in's GetType returns. Fields in this order; the host interprets the
// host words and flag, plug-ins only fill them.
struct ChannelType {
  char typeName[80] = {};   // NUL-terminated type name, e.g. "DX8 ParticleEmitter"
  GUID typeId = {};         // identifier of the type
  GUID baseTypeId = {};     // type this one derives from (its own id when none of the table)
  int32_t hostWord1 = 1;    // always 1
  int32_t hostWord2 = 50;   // always 50
  int32_t hostWord3 = 1;    // set per plug-in
  int32_t hostWord4 = 0;    // set by two plug-ins
  uint8_t hostFlag = 0;     // always 0
};

// One child-link declaration, handed to the host by value. A declaration record starts from these
// values and is reused for the next link of the same channel, so fields not set again keep theirs.
struct ChildCreation {
  ChannelType childType = MakeChildType();  // expected child type (name and id set per link)
  int32_t linkPosition = 0;                  // link index for a one-child link, -1 for many
  uint8_t hostByte1 = 0;                     // always 0
  uint8_t hostByte2 = 0;                     // always 0
  char linkName[100] = {};                   // NUL-terminated name shown to the user
  GUID linkId = {};                          // always zero
  int32_t hostWord5 = 0;                     // always 0
  int32_t hostWord6 = 1;                     // 1, except 0 on two imported-object links

  static ChannelType MakeChildType() {
    ChannelType t;
    std::uint8_t* b = reinterpret_cast<std::uint8_t*>(&t.baseTypeId);
    for (int i = 0; i < 16; ++i) b[i] = 0x11;
    return t;
  }
};

// Link position of a link that holds any number of children.
constexpr int32_t kManyChildren = -1;
